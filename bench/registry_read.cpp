// How long the registry stand-in takes to find a value in a system.reg that holds a 10 MB value in
// continued hex lines, as the About box's look-up meets it. Prints the median of several runs.
#include "platform/Registry.h"
#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    for (const qint64 megabytes : {1, 4, 10}) {
        SystemDirFixture dir;
        WriteLongRegistryValue(dir.path(), megabytes * 1000 * 1000);
        std::vector<double> runs;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer timer;
            timer.start();
            platform::HKEY key = 0;
            unsigned size = 0;
            if (platform::RegOpenKeyExA(platform::HKEY_LOCAL_MACHINE, "SOFTWARE\\Test", 0, 0x2003F,
                                        &key) != platform::ERROR_SUCCESS ||
                platform::RegQueryValueExA(key, "After", nullptr, nullptr, nullptr, &size) !=
                    platform::ERROR_SUCCESS) {
                std::fprintf(stderr, "the value after the long one was not found\n");
                return 1;
            }
            platform::RegCloseKey(key);
            runs.push_back(timer.nsecsElapsed() / 1e6);
        }
        std::sort(runs.begin(), runs.end());
        std::printf("value of %2lld MB in continued lines: look-up %7.1f ms (median of %zu)\n",
                    static_cast<long long>(megabytes), runs[runs.size() / 2], runs.size());
    }
    return 0;
}
