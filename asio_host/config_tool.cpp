// kaskade-config: the configuration command for support (see config_command.h).
#include <objbase.h>

#include <cstdio>

#include "asio_host/config_command.h"

int main(int argc, char** argv)
{
    CoInitialize(nullptr);
    int result = RunConfigCommand(argc, argv, stdout, stderr);
    CoUninitialize();
    return result;
}
