// Shared state: start values, the bar-text hand-over and its cut, repaint
// requests, cancel, and posted messages arriving in order from a worker.
#include "app/shared_state.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/shared_state_os.h"
#include "app/text.h"
#include "tests/support/messages.h"
#include "tests/support/test_support.h"

namespace {

class SharedStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSharedState();
        BeginMessageCapture();
    }
    void TearDown() override {
        EndMessageCapture();
        ResetSharedState();
    }
    std::u16string BarText(int entry) {
        char16_t text[PROGRESS_TEXT_CAPACITY];
        CopyProgressText(entry, text, PROGRESS_TEXT_CAPACITY);
        return text;
    }
};

}  // namespace

TEST_F(SharedStateTest, StartValuesAndIdentifiers) {
    EXPECT_EQ(SelectedScript, -1);
    EXPECT_EQ(PickerHighlight, -1);
    EXPECT_EQ(WorkerBusy, 0);
    EXPECT_EQ(CancelFlag.load(), 0);
    EXPECT_EQ(NoticeText[0], 0);
    EXPECT_EQ(WM_APP_CHECK_DONE, 0x8001);
    EXPECT_EQ(WM_APP_PROGRESS, 0x8002);
    EXPECT_EQ(WM_APP_DOWNLOAD_DONE, 0x8003);
    EXPECT_EQ(ID_FILE_LIST, 101);
    EXPECT_EQ(ID_CLOSE, 107);
}

TEST_F(SharedStateTest, ProgressTextKeepsTheFirst199UnitsOfALongArgument) {
    std::u16string argument = Repeat(u'a', 150) + Repeat(u'b', 100);
    SetProgressText(0, u"%s", argument.c_str());
    EXPECT_EQ(BarText(0), argument.substr(0, 199));
    EXPECT_EQ(ProgressBars[0].Text[199], 0);
    EXPECT_EQ(BarText(1), u"");
}

TEST_F(SharedStateTest, ProgressTextFormatsAndLeavesThePermilleAlone) {
    ProgressBars[1].Permille = 500;
    SetProgressText(1, u"Done - %s is up to date.", u"Example");
    EXPECT_EQ(BarText(1), u"Done - Example is up to date.");
    EXPECT_EQ(ProgressBars[1].Permille, 500);
    ClearProgressTexts();
    EXPECT_EQ(BarText(1), u"");
}

TEST_F(SharedStateTest, ProgressTextRepaintsOnlyItsOwnBar) {
    WindowHandle fileBar = MakeTestControl();
    WindowHandle totalBar = MakeTestControl();
    ControlHandles[ID_FILE_PROGRESS - ID_FIRST_CONTROL] = fileBar;
    ControlHandles[ID_TOTAL_PROGRESS - ID_FIRST_CONTROL] = totalBar;
    TakeRepaintRequest(fileBar);
    TakeRepaintRequest(totalBar);

    SetProgressText(0, u"%s", u"lib/main.lua");
    EXPECT_TRUE(TakeRepaintRequest(fileBar));
    EXPECT_FALSE(TakeRepaintRequest(totalBar));
    SetProgressText(1, u"%s", u"1 / 2 files");
    EXPECT_FALSE(TakeRepaintRequest(fileBar));
    EXPECT_TRUE(TakeRepaintRequest(totalBar));
}

TEST_F(SharedStateTest, APainterNeverSeesHalfAText) {
    // One thread keeps switching the text between two whole texts of
    // different letters and lengths; every copy read meanwhile must be one
    // of them, never a mixture.
    const std::u16string first = Repeat(u'A', 199);
    const std::u16string second = Repeat(u'B', 120);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; !stop.load(); ++i) {
            SetProgressText(0, u"%s", (i % 2 == 0 ? first : second).c_str());
        }
    });
    int mixed = 0;
    for (int i = 0; i < 20000; ++i) {
        std::u16string seen = BarText(0);
        if (!seen.empty() && seen != first && seen != second) ++mixed;
    }
    stop.store(true);
    writer.join();
    EXPECT_EQ(mixed, 0);
}

TEST_F(SharedStateTest, NoticeTextIsCutAndStaysTerminated) {
    std::u16string longNotice = Repeat(u'n', 700);
    TextFormat(NoticeText, NOTICE_TEXT_CAPACITY, u"Could not download %s.", longNotice.c_str());
    EXPECT_EQ(TextLength(NoticeText), 599);
    EXPECT_EQ(NoticeText[599], 0);
    EXPECT_EQ(std::u16string(NoticeText).substr(0, 19), u"Could not download ");
}

TEST_F(SharedStateTest, RequestCancelSetsTheFlag) {
    RequestCancel();
    EXPECT_EQ(CancelFlag.load(), 1);
    RequestCancel();
    EXPECT_EQ(CancelFlag.load(), 1);
}

namespace {
uint32_t PostThreeAndFinish(void* parameter) {
    intptr_t base = reinterpret_cast<intptr_t>(parameter);
    PostToMainWindow(WM_APP_PROGRESS, 0, base);
    PostToMainWindow(WM_APP_PROGRESS, 1, base + 1);
    PostToMainWindow(WM_APP_PROGRESS, 0, base + 2);
    PostToMainWindow(WM_APP_DOWNLOAD_DONE, 1, 3);
    return 0;
}
}  // namespace

TEST_F(SharedStateTest, AWorkerThreadsMessagesArriveInTheOrderPosted) {
    ASSERT_TRUE(StartWorkerThread(PostThreeAndFinish, reinterpret_cast<void*>(intptr_t{10})));
    std::vector<CapturedMessage> messages = MessagesUntil(WM_APP_DOWNLOAD_DONE, 5000);
    std::vector<CapturedMessage> expected = {
        {WM_APP_PROGRESS, 0, 10},
        {WM_APP_PROGRESS, 1, 11},
        {WM_APP_PROGRESS, 0, 12},
        {WM_APP_DOWNLOAD_DONE, 1, 3},
    };
    EXPECT_EQ(messages, expected);
}

TEST_F(SharedStateTest, TickCountAdvances) {
    uint32_t before = TickCount();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    uint32_t elapsed = TickCount() - before;
    EXPECT_GE(elapsed, 20u);
    EXPECT_LT(elapsed, 5000u);
}
