// xmlgateway-client: a command-line client of the gateway (see UsageText in command_line.cpp).
#include <string>
#include <vector>

#include "run.h"

int main(int argc, char** argv) {
  return xg::client::Run(std::vector<std::string>(argv + 1, argv + argc));
}
