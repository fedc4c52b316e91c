// File helpers.
#include "fifo.hpp"

#include <unistd.h>

int fileExists(const char *path)
{
    return access(path, F_OK) == 0 ? 1 : 0;
}
