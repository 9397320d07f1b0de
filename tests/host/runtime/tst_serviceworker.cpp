// The service thread: order, shutdown, and tasks that misbehave.
#include "serviceworker.h"

#include <QtTest>

#include <boost/make_shared.hpp>

#include <atomic>
#include <future>
#include <numeric>
#include <stdexcept>

class TestServiceWorker : public QObject
{
    Q_OBJECT

private slots:
    // Tasks run one after another in the order posted, on the worker's thread only; a task that
    // throws is dropped and the tasks after it still run.
    void runsTasksInPostOrderOnItsThread()
    {
        CServiceWorker worker("order");
        std::vector<int> seen;
        std::atomic<bool> onWorker{true};
        for (int i = 0; i < 1000; ++i) {
            if (i == 10)
                worker.post([] { throw std::runtime_error("task failed"); });
            if (i == 20)
                worker.post([] { throw 7; });
            worker.post([&seen, &onWorker, &worker, i] {
                onWorker = onWorker && worker.isWorkerThread();
                seen.push_back(i);
            });
        }
        worker.waitIdle();
        QVERIFY(onWorker);
        QVERIFY(!worker.isWorkerThread());
        std::vector<int> expected(1000);
        std::iota(expected.begin(), expected.end(), 0);
        QCOMPARE(seen, expected);
    }

    // Nothing queued is dropped when the worker goes, even while it waits out its latency.
    void destructorRunsQueuedTasks()
    {
        std::atomic<int> ran{0};
        {
            CServiceWorker worker("shutdown", 60000);
            for (int i = 0; i < 5; ++i)
                worker.post([&ran] { ++ran; });
        }
        QCOMPARE(ran.load(), 5);
    }

    // A callback that drops the last reference to its own service must not deadlock or crash.
    void destroyedByItsOwnTask()
    {
        auto holder = boost::make_shared<boost::shared_ptr<CServiceWorker>>(boost::make_shared<CServiceWorker>("self"));
        auto ran = boost::make_shared<std::atomic<int>>(0);
        CServiceWorker* raw = holder->get();
        // The first task waits until the second is posted: raw is only valid while the worker lives.
        std::promise<void> gate;
        std::shared_future<void> opened = gate.get_future().share();
        raw->post([holder, opened] {
            opened.wait();
            holder->reset();
        });
        raw->post([ran] { ++*ran; });
        raw = nullptr;
        gate.set_value();
        QTRY_COMPARE(ran->load(), 1);
        QVERIFY(!*holder);
    }
};

QTEST_GUILESS_MAIN(TestServiceWorker)
#include "tst_serviceworker.moc"
