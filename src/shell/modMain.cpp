#include "shell/modMain.h"

#include <QApplication>

namespace modMain {

int Main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    return 0;
}

} // namespace modMain
