#include "app/Resources.h"
#include <QtCore/qglobal.h>

static void initNordalisResourcesOnce()
{
    Q_INIT_RESOURCE(nordalis_resources);
}

void InitNordalisResources()
{
    static bool done = false;
    if (!done) {
        initNordalisResourcesOnce();
        done = true;
    }
}
