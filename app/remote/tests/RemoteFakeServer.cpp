// Serves the fake instrument on a free loopback port and runs one client
// program against it, so that client scripts can be tried without the
// program and without an instrument:
//
//   RemoteFakeServer python3 examples/capture.py --port {port}
//
// "{port}" in the arguments becomes the bound port. The exit status is the
// client's. The fake holds a 1 kHz sine of 1 V amplitude on CH1 (2 V on
// CH2), 10,000 points at 1 us; a Single run ends 50 ms after it starts.
#include <QCoreApplication>
#include <QProcess>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <numbers>

#include "app/remote/RemoteCommands.h"
#include "app/remote/RemoteServer.h"
#include "app/remote/ScpiInterpreter.h"
#include "app/remote/testing/FakeInstrument.h"

namespace {

using namespace lumatrace;

// The fake, with a Single run that completes by itself as a record arrives.
class SineInstrument : public FakeInstrument {
  public:
    RemoteServer* server = nullptr;

    RemoteStatus Run(RemoteRunAction action) override {
        const RemoteStatus s = FakeInstrument::Run(action);
        if (action == RemoteRunAction::kSingle) {
            QTimer::singleShot(50, [this] {
                FinishSingle();
                server->OperationStateChanged();
            });
        }
        return s;
    }
};

RemoteRecord Sine(double amplitudeVolts) {
    RemoteRecord r;
    constexpr int kPoints = 10000;
    r.xIncrement = 1e-6;
    r.xOrigin = -5000 * r.xIncrement;
    r.yIncrement = 0.5 * 10 / 1024.0;  // 0.5 V/div over 1024 codes
    r.yOrigin = 512.0;
    for (int i = 0; i < kPoints; ++i) {
        const double t = r.xOrigin + i * r.xIncrement;
        const double v = amplitudeVolts * std::sin(2 * std::numbers::pi * 1000.0 * t);
        r.codes.push_back(static_cast<std::uint16_t>(std::lround(r.yOrigin + v / r.yIncrement)));
    }
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: RemoteFakeServer PROGRAM [ARGS...] ({port} is replaced)\n");
        return 2;
    }
    SineInstrument fake;
    fake.records[RemoteSource::kCh1] = Sine(1.0);
    fake.records[RemoteSource::kCh2] = Sine(2.0);
    ScpiStatus status;
    RemoteCommands commands(fake, status);
    ScpiInterpreter interpreter(commands.table(), status);
    RemoteServer server(interpreter);
    fake.server = &server;
    QString error;
    if (!server.Listen({"127.0.0.1", 0}, &error)) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(error));
        return 2;
    }

    QStringList arguments;
    for (int i = 2; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]).replace("{port}",
                                                             QString::number(server.Port()));
    }
    QProcess client;
    client.setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(&client, &QProcess::finished, &app, [&](int code, QProcess::ExitStatus how) {
        app.exit(how == QProcess::NormalExit ? code : 3);
    });
    QObject::connect(&client, &QProcess::errorOccurred, &app, [&](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            std::fprintf(stderr, "cannot start %s\n", argv[1]);
            app.exit(2);
        }
    });
    client.start(QString::fromLocal8Bit(argv[1]), arguments);
    return app.exec();
}
