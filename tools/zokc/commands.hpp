// The zokc commands, each run with its own arguments (argv[0] is the
// command's name) and returning the exit status.
#pragma once

int playCommand(int argc, char **argv);
int checkCommand(int argc, char **argv);
int graphCommand(int argc, char **argv);
int exploreCommand(int argc, char **argv);
int randomCommand(int argc, char **argv);
int webCommand(int argc, char **argv);
int lspCommand(int argc, char **argv);
