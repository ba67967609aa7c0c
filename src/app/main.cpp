#include "app/Startup.h"
#include "app/TotemApplication.h"
#include "platform/RegionalSettings.h"

#ifdef TOTEM_PROBE
#include "app/ScreenProbe.h"
#endif

int main(int argc, char** argv) {
    platform::cacheLocalTimeZone();
    TotemApplication application(argc, argv);
#ifdef TOTEM_PROBE
    ScreenProbe probe;
    if (!probe.listenFromEnvironment()) {
        return 1;
    }
#endif
    return runKiosk(application);
}
