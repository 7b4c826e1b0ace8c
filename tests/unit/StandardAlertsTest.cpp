// tests/unit/StandardAlertsTest.cpp: standard alerts and the out-of-memory
// alert raised from workers.
#include "platform/core/StandardAlerts.h"

#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/MainThread.h"
#include "tests/support/ScriptedInteraction.h"

TEST(StandardAlerts, DefaultButtonTextsAndAnswers)
{
    ScriptedInteraction ui;
    ui.Answer(false);
    EXPECT_FALSE(DoStandardAlert(kAlertCaution, "Title", "Message"));
    ui.Answer(true);
    EXPECT_TRUE(DoStandardAlert(kAlertStop, "T", "M", "Continue", "Stop"));
    const auto alerts = ui.Alerts();
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(alerts[0].request.kind, kAlertCaution);
    EXPECT_TRUE(alerts[0].request.hasCancel);
    EXPECT_TRUE(alerts[0].request.defaultText.empty());  // the platform's OK and Cancel
    EXPECT_EQ(alerts[1].request.defaultText, "Continue");
    EXPECT_EQ(alerts[1].request.cancelText, "Stop");
    EXPECT_EQ(ui.BeepCount(), 2);
}

TEST(StandardAlerts, NoCancelHasOneButtonAndBeeps)
{
    ScriptedInteraction ui;
    DoStandardAlertNoCancel(kAlertNote, "A", "B");
    ASSERT_EQ(ui.AlertCount(), 1);
    EXPECT_FALSE(ui.Alerts()[0].request.hasCancel);
    EXPECT_EQ(ui.BeepCount(), 1);
}

TEST(StandardAlerts, OutOfMemoryTextIsExact)
{
    ScriptedInteraction ui;
    DoNotEnougMemoryForOperationDialog();
    ASSERT_EQ(ui.AlertCount(), 1);
    const AlertRequest r = ui.Alerts()[0].request;
    EXPECT_EQ(r.kind, 3);
    EXPECT_EQ(r.title, "Out of Memory Error");
    EXPECT_EQ(r.message,
              "There is not enough memory to complete the current operation.  You might consider:\n  - deleting "
              "some clips\n  - cropping the image dimensions\n  - quitting and giving the program more memory "
              "(OS 9)");
    EXPECT_FALSE(r.hasCancel);
    // It closed, so the next one shows again.
    DoNotEnougMemoryForOperationDialog();
    EXPECT_EQ(ui.AlertCount(), 2);
}

TEST(StandardAlerts, WorkersOutOfMemoryShowsOnceOnMainThread)
{
    ScriptedInteraction ui;
    TestMainThreadQueue queue;
    std::vector<std::thread> workers;
    for (int i = 0; i < 2; ++i)
        workers.emplace_back([] { DoNotEnougMemoryForOperationDialog(); });
    for (auto& w : workers)
        w.join();
    EXPECT_EQ(ui.AlertCount(), 0);  // nothing is shown on a worker
    EXPECT_EQ(queue.Drain(), 1);    // the second request was dropped
    ASSERT_EQ(ui.AlertCount(), 1);
    EXPECT_EQ(ui.Alerts()[0].thread, std::this_thread::get_id());
    EXPECT_EQ(ui.BeepCount(), 1);

    // Once closed, a later job's failure is shown again.
    std::thread later([] { DoNotEnougMemoryForOperationDialog(); });
    later.join();
    EXPECT_EQ(queue.Drain(), 1);
    EXPECT_EQ(ui.AlertCount(), 2);
}

TEST(StandardAlerts, WorkerWithoutPosterDoesNotBlockLaterAlerts)
{
    ScriptedInteraction ui;
    std::thread worker([] { DoNotEnougMemoryForOperationDialog(); });
    worker.join();
    EXPECT_EQ(ui.AlertCount(), 0);
    DoNotEnougMemoryForOperationDialog();
    EXPECT_EQ(ui.AlertCount(), 1);
}
