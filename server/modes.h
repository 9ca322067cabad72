// The one dispatch point from the settings to the mode that runs.
#pragma once

#include "server/command_line.h"

namespace velmora {

enum class Mode { local_server, online_server, online_client };

// The online flag wins over a connect address; else the local server.
Mode choose_mode(const Settings& settings);

// Runs the chosen mode; returns the exit status.
int run_mode(const Settings& settings, ProgramIo& io);

}  // namespace velmora
