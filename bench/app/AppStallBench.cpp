// How long the installer's event loop stalls while a long installation runs on the worker, and
// how soon the first frame is painted, against the same window sitting idle.
//
// The engine is a stand-in that runs real commands through ShellCommandRunner. Its privileged
// step goes through a fake pkexec script run with syncThrows: the product's privileged runner
// calls /usr/bin/pkexec by absolute path, which cannot be faked here, and a sleeping script
// blocks the worker in the same way (a child process waited for to its end).
//
//   bench_app_stalls [--seconds S]   (S: idle baseline length, default 3)
#include "app/AgentApp.h"
#include "app/InstallWorkerThread.h"
#include "exec/ShellCommandRunner.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Writes an executable script that waits as an authentication dialog would, then runs its
// arguments.
std::string writeFakePkexec(const QTemporaryDir& folder) {
    const std::string path = folder.filePath("pkexec").toStdString();
    std::ofstream(path) << "#!/bin/sh\nsleep 0.8\nexec \"$@\"\n";
    QFile::setPermissions(QString::fromStdString(path),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

// An installation of about four seconds made of real commands.
class CommandEngine final : public talvo::InstallerBackend {
  public:
    explicit CommandEngine(std::string pkexec) : pkexec_(std::move(pkexec)) {}

    void run(const talvo::Config&) override {
        runner_.syncThrows("ps aux | grep -c TalvoBackupAgent");
        runner_.syncThrows("'" + pkexec_ + "' /bin/sh -c 'sleep 1; echo registered'");
        for (int step = 0; step < 20; ++step) {
            runner_.syncThrows("ls /usr/bin | wc -l");
        }
        runner_.syncThrows("head -c 4000000 /dev/urandom | sha256sum");
        runner_.syncThrows("'" + pkexec_ + "' /bin/sh -c 'sleep 0.5; echo stored'");
    }
    void bootstrap() override {
        runner_.syncThrows("sleep 0.2");
        runner_.syncThrows("sleep 0.2");
    }
    void runStatusApp() override {}
    bool isInitialized() const override { return false; }
    void openURL(const std::string&) override {}

  private:
    const std::string pkexec_;
    talvo::ShellCommandRunner runner_;
};

// Gaps between the ticks of a 1 ms timer: how late the event loop delivered each one.
class StallMeter {
  public:
    StallMeter() {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            gaps_.push_back(static_cast<double>(clock_.nsecsElapsed()) / 1e6);
            clock_.restart();
        });
    }

    void start() {
        gaps_.clear();
        clock_.start();
        timer_.start();
    }
    void stop() { timer_.stop(); }

    double longest() const {
        return gaps_.empty() ? 0.0 : *std::max_element(gaps_.begin(), gaps_.end());
    }
    double percentile(double p) const {
        std::vector<double> sorted = gaps_;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0.0 : sorted[static_cast<std::size_t>(p * (sorted.size() - 1))];
    }

  private:
    QTimer timer_;
    QElapsedTimer clock_;
    std::vector<double> gaps_;
};

// Notes when the next paint event of any widget arrives.
class FirstPaint : public QObject {
  public:
    explicit FirstPaint(Clock::time_point start) : start_(start) {
        QCoreApplication::instance()->installEventFilter(this);
    }
    double milliseconds = -1;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && milliseconds < 0) {
            milliseconds = millisecondsSince(start_);
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    Clock::time_point start_;
};

void waitFor(const std::function<bool()>& condition) {
    while (!condition()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

void waitFor(double seconds) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

QAbstractButton* installButton(const QWidget& window) {
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        if (button->text() == QStringLiteral("Install")) {
            return button;
        }
    }
    return nullptr;
}

struct Round {
    double firstPaint = 0;
    double idleLongest = 0;
    double idleP99 = 0;
    double installSeconds = 0;
    double installLongest = 0;
    double installP99 = 0;
    double progressPaint = 0;
    bool succeeded = false;
};

// One launch: the window sits idle for a while, then installs.
Round measureRound(talvo::InstallerBackend& engine, Clock::time_point start, double idleSeconds) {
    Round round;
    StallMeter meter;
    {
        FirstPaint firstPaint(start);
        talvo::AppDelegate delegate(engine);
        delegate.applicationDidFinishLaunching();
        waitFor([&firstPaint] { return firstPaint.milliseconds >= 0; });
        round.firstPaint = firstPaint.milliseconds;

        meter.start();
        waitFor(idleSeconds);
        meter.stop();
        round.idleLongest = meter.longest();
        round.idleP99 = meter.percentile(0.99);

        QAbstractButton* install = installButton(*delegate.window());
        if (!install) {
            return round;
        }
        const talvo::InstallState& state = *delegate.installState();
        const Clock::time_point installStart = Clock::now();
        meter.start();
        FirstPaint progressPaint(installStart);
        install->click();
        waitFor([&state] {
            return state.showFDAView() || state.status() == talvo::InstallStatus::failed;
        });
        meter.stop();
        round.progressPaint = progressPaint.milliseconds;
        round.installSeconds = millisecondsSince(installStart) / 1000;
        round.installLongest = meter.longest();
        round.installP99 = meter.percentile(0.99);
        round.succeeded = state.status() == talvo::InstallStatus::installed;
    }
    return round;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const Clock::time_point start = Clock::now();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    const double idleSeconds =
        argc > 2 && std::string(argv[1]) == "--seconds" ? std::stod(argv[2]) : 3.0;
    constexpr int kRounds = 3;

    const QTemporaryDir scratch;
    CommandEngine engine(writeFakePkexec(scratch));
    std::printf("AgentInstaller event loop, platform %s, 1 ms timer, %d launches\n",
                qPrintable(QGuiApplication::platformName()), kRounds);
    std::printf("%-6s %12s %12s %10s | %9s %12s %10s %14s\n", "launch", "first frame", "idle stall",
                "idle p99", "install", "install stall", "p99", "progress frame");
    std::vector<double> idleStalls, installStalls;
    bool succeeded = true;
    for (int index = 0; index < kRounds; ++index) {
        // The first launch counts from process start, later ones from the window's creation.
        const Round round = measureRound(engine, index == 0 ? start : Clock::now(), idleSeconds);
        std::printf("%-6d %9.1f ms %9.2f ms %7.2f ms | %7.2f s %9.2f ms %7.2f ms %11.1f ms\n",
                    index + 1, round.firstPaint, round.idleLongest, round.idleP99,
                    round.installSeconds, round.installLongest, round.installP99,
                    round.progressPaint);
        idleStalls.push_back(round.idleLongest);
        installStalls.push_back(round.installLongest);
        succeeded = succeeded && round.succeeded;
    }
    const double installStall = median(installStalls);
    const bool withinTarget = installStall <= 20.0;
    std::printf("\nmedian longest stall: idle %.2f ms, during install %.2f ms; target <= 20 ms: "
                "%s%s\n",
                median(idleStalls), installStall, withinTarget ? "met" : "MISSED",
                succeeded ? "" : " (an installation FAILED)");
    return succeeded && withinTarget ? 0 : 1;
}
