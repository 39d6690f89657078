// Time from creating the main frame to its first shown, painted window,
// beside a minimal Qt main window (a menu bar and one list) shown the same
// way in the same run; the goal is a ratio of at most 1.5. Offscreen, so no
// display is needed; the frame is made with its menus, bars, panes, status
// bar, automation socket and default document, as the program makes it.

#include <benchmark/benchmark.h>

#include "bench/bench_support.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>
#include <QTreeView>
#include <QWindow>

#include <cstdlib>
#include <memory>
#include <string>

#include <unistd.h>

#include "app/document_lifecycle.h"
#include "window/frame/main_frame.h"

namespace {

QApplication& Application() {
    static int argc = 1;
    static char name[] = "window_startup_ui_bench";
    static char* argv[] = {name, nullptr};
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// A private config and runtime folder, so the bench never reads the user's.
void PrivateFolders() {
    static const std::string root = [] {
        const std::string made = qvbench::MakeBenchFolder();
        return made.empty() ? std::string("/tmp") : made;
    }();
    setenv("QV_CONFIG_DIR", root.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", root.c_str(), 1);
}

// Runs the loop until the window is exposed and has painted once.
void WaitUntilShown(QWidget& window) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (window.windowHandle() && window.windowHandle()->isExposed()) loop.quit();
    });
    poll.start(0);
    loop.exec();
    QApplication::processEvents();
}

// The two first shown in turn, nine times each, for the table: the median of
// each side, measured under the same load. It runs first, before the frames
// of the benchmarks below have left their state behind.
void BM_FirstShownInterleaved(benchmark::State& state) {
    Application();
    PrivateFolders();
    std::vector<double> minimal, frame;
    bool ok = true;
    for (auto _ : state) {
        for (int run = 0; run < 9 && ok; ++run) {
            minimal.push_back(qvbench::Seconds([] {
                auto window = std::make_unique<QMainWindow>();
                for (const char* title : {"&File", "&View", "&Action", "&Tools", "&Options", "&Help"})
                    window->menuBar()->addMenu(QString::fromLatin1(title))->addAction(QStringLiteral("Item"));
                window->setCentralWidget(new QTreeView);
                window->resize(900, 600);
                window->show();
                WaitUntilShown(*window);
            }));
            QApplication::processEvents();
            frame.push_back(qvbench::Seconds([&] {
                auto made = std::make_unique<app::ui::CMainFrame>(0, nullptr);
                ok = made->Create();
                if (!ok) return;
                made->resize(900, 600);
                made->show();
                WaitUntilShown(*made);
                app::CloseDocument();
            }));
            QApplication::processEvents();
        }
    }
    if (!ok) state.SkipWithError("the frame could not be made");
    state.counters["frame_s"] = qvbench::Median(frame);
    state.counters["minimal_s"] = qvbench::Median(minimal);
    qvbench::TableRow("window first shown", qvbench::Median(frame), "minimal Qt window", qvbench::Median(minimal), 1.2);
}
BENCHMARK(BM_FirstShownInterleaved)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_MinimalWindowFirstShown(benchmark::State& state) {
    Application();
    for (auto _ : state) {
        auto window = std::make_unique<QMainWindow>();
        for (const char* title : {"&File", "&View", "&Action", "&Tools", "&Options", "&Help"})
            window->menuBar()->addMenu(QString::fromLatin1(title))->addAction(QStringLiteral("Item"));
        window->setCentralWidget(new QTreeView);
        window->resize(900, 600);
        window->show();
        WaitUntilShown(*window);
        state.PauseTiming();
        window.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_MinimalWindowFirstShown)->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_MainFrameFirstShown(benchmark::State& state) {
    Application();
    PrivateFolders();
    for (auto _ : state) {
        auto frame = std::make_unique<app::ui::CMainFrame>(0, nullptr);
        if (!frame->Create()) {
            state.SkipWithError("the frame could not be made");
            return;
        }
        frame->resize(900, 600);
        frame->show();
        WaitUntilShown(*frame);
        state.PauseTiming();
        app::CloseDocument();
        frame.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
// Nine frames: the process makes no more than about twenty frames in all before
// a frame no longer shows (left for a look of its own).
BENCHMARK(BM_MainFrameFirstShown)->Unit(benchmark::kMillisecond)->Iterations(9);


}  // namespace
