#include <iostream>
#include <string>
#include <vector>

#include "core/base/disk.h"
#include "server/command_line.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  velmora::RealDisk disk;
  velmora::ProgramIo io{disk, std::cout, std::cerr};
  const int status = velmora::run_program(args, io);
  std::cout.flush();
  return status;
}
