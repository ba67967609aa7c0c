#include "app/Startup.h"
#include "app/TotemApplication.h"
#include "platform/RegionalSettings.h"

int main(int argc, char** argv) {
    platform::cacheLocalTimeZone();
    TotemApplication application(argc, argv);
    return runKiosk(application);
}
