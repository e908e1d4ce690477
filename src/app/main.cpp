#include "platform/sysinfo/HugePages.h"
#include "shell/modMain.h"

int main(int argc, char* argv[])
{
    HugePages::RestartWithHugePageHeap(argv);
    return modMain::Main(argc, argv);
}
