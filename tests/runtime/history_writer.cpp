// Writes full sessions into a chip history until it is killed, saying on
// stdout after each one that it is kept: the history test kills it half-way
// through a write.
#include "runtime/history_store.h"

#include <QCoreApplication>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        return 64;
    }
    QCoreApplication app(argc, argv);
    tallybird::HistoryStore store(argv[1]);
    for (int n = 1;; ++n) {
        tallybird::SessionRecord session;
        session.started = 1765350000 + n;
        session.ended = session.started + 1;
        session.scanner = "126590";
        session.end = "orderly end";
        for (int i = 0; i < 3100; ++i) {
            session.reads.push_back(
                {"985" + std::to_string(100000000000LL + n * 10000 + i), true, i % 7 == 0});
        }
        if (!store.Append(session)) {
            std::fprintf(stderr, "%s\n", store.Error().c_str());
            return 1;
        }
        std::printf("%d\n", n);
        std::fflush(stdout);
    }
}
