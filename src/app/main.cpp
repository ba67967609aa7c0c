#include "app/Startup.h"
#include "app/TotemApplication.h"
#include "platform/RegionalSettings.h"

#ifdef TOTEM_PROBE
#include "app/ScreenProbe.h"
#endif

int main(int argc, char** argv) {
    // Answered before the application object exists, which needs a display.
    if (const std::optional<int> status = answerWithoutDisplay(argc, argv)) {
        return *status;
    }
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
