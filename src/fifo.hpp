// File helpers.
#pragma once

int fileExists(const char *path);
