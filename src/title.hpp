// The texts every front end shows around play: the title screen, the name
// prompt and the continue prompt.
#pragma once

constexpr const char *TITLE_NAME = "ZOK";
constexpr const char *TITLE_VERSION = "0.1";  // the title reads "ZOK 0.1"
constexpr const char *TITLE_TAGLINE = "\"they fragile as eggs\"";
constexpr const char *TITLE_CREDITS[] = {
    "cobbled together by orvo_pelin",
    "game testing and implementation by tulwin",
};
constexpr const char *TITLE_PROMPT = "press any key to continue :)";

constexpr const char *NAME_PROMPT = "Enter your name:";
constexpr const char *CONTINUE_PROMPT = "<continue>";
