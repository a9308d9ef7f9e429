// nordalis: the desktop program.
#include "app/Resources.h"
#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    InitNordalisResources();
    return 0;
}
