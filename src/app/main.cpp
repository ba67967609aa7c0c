#include "app/Startup.h"
#include "app/TotemApplication.h"

int main(int argc, char** argv) {
    TotemApplication application(argc, argv);
    return runKiosk(application);
}
