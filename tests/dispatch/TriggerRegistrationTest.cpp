// Handle numbering, data trigger limits, removal, the snapshot across a reopen, and the
// handler flags.

#include "tests/dispatch/DispatcherFixture.h"

namespace apd::testing {
namespace {

using TriggerRegistration = DispatcherTest;

TEST_F(TriggerRegistration, HandlesAreMultiplesOfEightAndTooLongPatternsUseNone) {
    EXPECT_EQ(AddTrigger("a"), 8);
    EXPECT_EQ(AddTrigger(std::string(21, 'b')), 16);
    EXPECT_EQ(AddTrigger(std::string(22, 'c')), ecTriggerTooLong);
    EXPECT_EQ(AddTrigger(""), 24); // accepted, never matches
    EXPECT_EQ(dispatcher.DataTriggerRecords().size(), 3u);
    EXPECT_EQ(dispatcher.DataTriggerRecords()[1].Length, 21);
}

TEST_F(TriggerRegistration, AfterTheSequenceRunsOutTheSmallestFreeHandleIsTaken) {
    for (int i = 1; i < SequentialHandleLimit; ++i) {
        ASSERT_EQ(AddTrigger("x"), i * 8);
    }
    // Free two handles through a snapshot without them.
    TriggerSnapshot snapshot;
    dispatcher.SaveTriggers(snapshot);
    auto& data = *snapshot.DataTriggers;
    std::erase_if(data, [](const DataTrigger& t) { return t.Handle == 8 || t.Handle == 24; });
    dispatcher.RestoreTriggers(snapshot);

    EXPECT_EQ(AddTrigger("y"), 8);
    EXPECT_EQ(AddTrigger("y"), 24);
    EXPECT_EQ(AddTrigger("y"), 32768);
}

TEST_F(TriggerRegistration, RemoveAllTriggersRestartsNumberingAndKeepsHandlers) {
    AddTrigger("a");
    dispatcher.SetAvailTriggerLength(4);
    dispatcher.RemoveAllTriggers();
    EXPECT_EQ(dispatcher.AvailTriggerLengthValue(), 0);
    EXPECT_TRUE(dispatcher.DataTriggerRecords().empty());
    EXPECT_EQ(AddTrigger("b"), 8);
    EXPECT_EQ(dispatcher.MethodHandlerCount(), 1u);
}

TEST_F(TriggerRegistration, RestoredTriggersKeepHandlesWithoutDuplicatesOrOldPartialMatches) {
    const auto header = AddTrigger("\xAA\x55");
    AddTrigger("OK", true);
    dispatcher.SetAvailTriggerLength(24);
    dispatcher.Feed("\xAA"); // a partial match of the old stream
    CheckAllData();
    TriggerSnapshot snapshot;
    dispatcher.SaveTriggers(snapshot);
    ASSERT_TRUE(snapshot.DataTriggers.has_value());
    EXPECT_EQ((*snapshot.DataTriggers)[0].MatchSlots[0], 1); // copied as it was

    DataTrigger forged;
    forged.Handle = 800;
    forged.Length = 40;
    snapshot.DataTriggers->push_back(forged); // no trigger of that length can exist

    TMemoryDispatcher reopened;
    NotificationRecorder seen;
    ASSERT_EQ(reopened.OpenDefault(), ecOK);
    reopened.AddMethodHandler(seen.Method(), false);
    reopened.RestoreTriggers(snapshot);
    EXPECT_EQ(reopened.AvailTriggerLengthValue(), 24);
    const auto restored = reopened.DataTriggerRecords();
    ASSERT_EQ(restored.size(), 2u);
    EXPECT_EQ(restored[0].Handle, header);
    EXPECT_EQ(restored[1].Handle, 16);
    EXPECT_EQ(restored[1].IgnoreCase, RecordTrue);

    // A trigger added after the restore gets a handle of its own.
    EXPECT_EQ(reopened.AddDataTrigger(Bytes("z"), false, 1), 24);

    // The half-seen header of the old stream does not complete in the new one.
    reopened.Feed("\x55");
    while (reopened.CheckDataTriggers()) {
    }
    for (const auto& note : seen.received) {
        EXPECT_NE(note.msg, MsgTriggerData);
    }
    TApdBaseDispatcher::FreeSavedTriggers(snapshot);
    EXPECT_FALSE(snapshot.DataTriggers.has_value());
}

TEST(HandlerFlags, ModesDecideWhetherAnyoneNeedsNotifications) {
    TMemoryDispatcher dispatcher;
    ASSERT_EQ(dispatcher.OpenDefault(), ecOK);
    EXPECT_FALSE(dispatcher.NotifyNeededFlag());
    dispatcher.RegisterWindowHandler(0x1234);
    EXPECT_TRUE(dispatcher.NotifyNeededFlag());
    // The component's window alone, and the component has no events assigned.
    dispatcher.UpdateHandlerFlags(HandlerFlagsPortInactive);
    EXPECT_FALSE(dispatcher.NotifyNeededFlag());
    dispatcher.UpdateHandlerFlags(HandlerFlagsPortActive);
    EXPECT_TRUE(dispatcher.NotifyNeededFlag());
    EXPECT_TRUE(dispatcher.PortHandlerActiveFlag());
    dispatcher.UpdateHandlerFlags(7); // unknown: nothing changes
    EXPECT_TRUE(dispatcher.NotifyNeededFlag());
    dispatcher.UpdateHandlerFlags(HandlerFlagsPortInactive);
    dispatcher.RegisterWindowHandler(0x5678); // a second window is always notified
    dispatcher.UpdateHandlerFlags(HandlerFlagsRecompute);
    EXPECT_TRUE(dispatcher.NotifyNeededFlag());
    dispatcher.DeregisterWindowHandler(0x5678);
    EXPECT_FALSE(dispatcher.NotifyNeededFlag());
    dispatcher.DeregisterWindowHandler(0x9999); // not registered: flags recomputed only
    EXPECT_EQ(dispatcher.WindowHandlerCount(), 1u);
}

TEST(HandlerFlags, WithNobodyToNotifyNotificationsConsumeNothing) {
    TMemoryDispatcher dispatcher;
    ASSERT_EQ(dispatcher.OpenDefault(), ecOK);
    dispatcher.AddDataTrigger(Bytes("AB"), false, 2);
    dispatcher.SetAvailTriggerLength(1);
    dispatcher.Feed("xAB");
    EXPECT_TRUE(dispatcher.CheckDataTriggers());
    EXPECT_EQ(dispatcher.InBuffUsed(), 3u);
    EXPECT_FALSE(dispatcher.Notifying);
}

} // namespace
} // namespace apd::testing
