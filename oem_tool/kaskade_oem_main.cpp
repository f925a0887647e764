#include <iostream>

#include "oem_tool/oem_cli.h"

int main(int argc, char** argv)
{
    return RunOemCli(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
