// This computer's interfaces as the platform lists them.
#pragma once

#include <winsock2.h>

#include <vector>

#include "wire/interfaces.h"

// Reads the list through any socket; false (and `out` untouched) when it
// could not be read.
bool ReadLocalInterfaces(SOCKET socket, std::vector<LocalInterface>& out);
