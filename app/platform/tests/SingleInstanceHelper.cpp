// A second start of the program, or one that dies holding the instance lock.
//   helper second <folder> <name> <arguments...>   exit 0: handed over, 1: became first, 2: failed
//   helper crash <folder> <name>                   becomes the first instance and dies at once
#include <unistd.h>

#include <cstring>

#include <QCoreApplication>

#include "app/platform/SingleInstance.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        return 3;
    }
    lumatrace::SingleInstance instance(QString::fromUtf8(argv[3]), QString::fromUtf8(argv[2]));
    if (std::strcmp(argv[1], "crash") == 0) {
        instance.Start({});
        ::_exit(0);  // no destructors: lock and socket files stay behind
    }
    QStringList arguments{QStringLiteral("lumatrace")};
    for (int i = 4; i < argc; ++i) {
        arguments << QString::fromUtf8(argv[i]);
    }
    const auto outcome = instance.Start(arguments);
    if (outcome.role == lumatrace::SingleInstance::Role::Primary) {
        return 1;
    }
    return outcome.delivered ? 0 : 2;
}
