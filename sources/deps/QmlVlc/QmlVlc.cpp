#include "QmlVlc.h"

void RegisterQmlVlc()
{
    // The player, list-player and surface types register here once they exist.
}

void initQmlVlc()
{
    RegisterQmlVlc();
}
