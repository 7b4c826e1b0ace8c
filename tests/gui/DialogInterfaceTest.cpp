// tests/gui/DialogInterfaceTest.cpp: a summed-stack dialog opened over a
// stack: OK keeps and Cancel restores the planes byte for byte, the preview
// switch, channel flags, arrow keys, one commit and one deletion whatever
// arrives meanwhile, out-of-memory paths, menus, and reading edit text.
#include "engine/SumStackDialogInterface.h"

#include <clocale>
#include <cstdlib>
#include <unistd.h>
#include <cstring>
#include <locale>
#include <new>
#include <optional>
#include <random>
#include <vector>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "app/MenuBar.h"
#include "app/MenuState.h"
#include "shell/ShellHooks.h"
#include "shell/ShellSettings.h"
#include "engine/SummedStack.h"
#include "platform/core/GWorldWrapper.h"
#include "platform/qt/BusyScope.h"
#include "platform/qt/Canvas.h"
#include "platform/qt/Controls.h"
#include "platform/qt/InterfaceFile.h"
#include "platform/qt/MenuModel.h"
#include "tests/gui/GuiTestApp.h"
#include "tests/support/PythonReference.h"
#include "tests/support/ScriptedInteraction.h"
#include "tests/support/TestImages.h"

namespace {

constexpr int kW = 37, kH = 23; // odd sizes
constexpr int kEditControl = 5;

QWidget* Control(QWidget* parent, QWidget* control, int id)
{
    control->setParent(parent);
    control->setProperty("signature", QString(kControlSignature));
    control->setProperty("controlID", id);
    return control;
}

// A filter dialog's window: OK (default), Cancel, preview, scale selector,
// an edit field, and a drawing surface under them.
QWidget* BuildTestFilterWindow()
{
    auto* dialog = new QDialog;
    dialog->resize(480, 320);
    auto* canvas = new Canvas(dialog);
    canvas->setGeometry(0, 0, 480, 320);
    auto* ok = static_cast<QPushButton*>(Control(dialog, new QPushButton("OK"), 1000));
    ok->setDefault(true);
    ok->setGeometry(380, 280, 80, 24);
    Control(dialog, new QPushButton("Cancel"), 2)->setGeometry(290, 280, 80, 24);
    Control(dialog, new QCheckBox("Preview"), 3)->setGeometry(10, 280, 80, 24);
    auto* scale = static_cast<QComboBox*>(Control(dialog, new QComboBox, 4));
    scale->addItems({"1", "2", "3"});
    scale->setGeometry(100, 280, 60, 24);
    Control(dialog, new QLineEdit, kEditControl)->setGeometry(170, 280, 100, 24);
    return dialog;
}

struct Counters {
    int constructed = 0, deleted = 0, commits = 0, redraws = 0, mice = 0;
    std::vector<std::pair<bool, bool>> nudges;
    std::vector<int> hits;
    bool throwInCommit = false;
    bool pumpInCommit = false;
    bool endOnMouse = false;
    bool busyInHandlers = false; // a busy computation's input filter comes and goes in them
    std::vector<QPoint> pressesAt;
};
Counters gCounts;

class TestFilterInterface;
TestFilterInterface* gTestFilterInterface = nullptr;

class TestFilterInterface final : public SumStackDialogInterface {
public:
    TestFilterInterface() : SumStackDialogInterface("TestFilter")
    {
        ++gCounts.constructed;
        gTestFilterInterface = this;
    }
    ~TestFilterInterface() override { ++gCounts.deleted; }

    void RedrawDialog() override { ++gCounts.redraws; }
    void processMouse(int, QPoint where, bool& done) override
    {
        std::optional<BusyScope> busy;
        if (gCounts.busyInHandlers)
            busy.emplace();
        ++gCounts.mice;
        gCounts.pressesAt.push_back(where);
        if (gCounts.endOnMouse)
            done = true;
    }
    void nudgeSlider(bool up, bool shift) override
    {
        std::optional<BusyScope> busy;
        if (gCounts.busyInHandlers)
            busy.emplace();
        gCounts.nudges.emplace_back(up, shift);
    }
    bool HandleDialogItemHit(int id, bool& done) override
    {
        gCounts.hits.push_back(id);
        return SumStackDialogInterface::HandleDialogItemHit(id, done);
    }

    // The "filter": every sum + 100 (red), × 2 (green), reversed (blue).
    void Apply()
    {
        const int n = kW * kH;
        for (int i = 0; i < n; ++i) {
            gRedStack[i] += 100;
            gGreenStack[i] *= 2;
        }
        std::reverse(gBlueStack.get(), gBlueStack.get() + n);
        ProjectStackIntoFrameStackGWorld(false);
    }

protected:
    void commit() override
    {
        ++gCounts.commits;
        if (gCounts.throwInCommit)
            throw std::bad_alloc();
        if (gCounts.pumpInCommit) {
            // A long commit lets events through; a second OK arrives.
            Click(kDialogOK);
            QApplication::processEvents();
        }
    }
    void ClearGlobalPointer() override { gTestFilterInterface = nullptr; }

public:
    void Click(int id)
    {
        auto* button = qobject_cast<QAbstractButton*>(control(id).Widget());
        ASSERT_NE(button, nullptr);
        button->click();
    }
};

std::vector<int32_t> Plane(const std::unique_ptr<int32_t[]>& plane)
{
    return std::vector<int32_t>(plane.get(), plane.get() + kW * kH);
}

// The display the projection gives for planes, computed here: divisor
// d = max(N, largest sum / 255), values trunc(sum / d) capped at 255; one
// channel shown gives its grey.
std::unique_ptr<GWorldWrapper> ExpectedDisplay(const std::vector<int32_t>& r, const std::vector<int32_t>& g,
                                               const std::vector<int32_t>& b, double n, int onlyChannel)
{
    int32_t m = 0;
    for (std::size_t i = 0; i < r.size(); ++i)
        m = std::max({m, r[i], g[i], b[i]});
    const double d = std::max(n, m / 255.0);
    auto image = MakeImage(kW, kH);
    const auto value = [d](int32_t s) { return static_cast<uint8_t>(std::min(255.0, std::trunc(s / d))); };
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * kW + x;
            Argb p = GetPixel(*image, x, y);
            p.r = value(r[i]);
            p.g = value(g[i]);
            p.b = value(b[i]);
            if (onlyChannel == 1)
                p.g = p.b = p.r;
            SetPixel(*image, x, y, p);
        }
    return image;
}

class DialogInterfaceTest : public testing::Test {
protected:
    void SetUp() override
    {
        GuiTestApp();
        RegisterInterfaceWindow("TestFilter", &BuildTestFilterWindow);
        gCounts = Counters{};
        gRedChannelOn = gGreenChannelOn = gBlueChannelOn = true;
        gNumFramesInStack = 2.0;
        const std::size_t n = static_cast<std::size_t>(kW) * kH;
        gRedStack = std::make_unique<int32_t[]>(n);
        gGreenStack = std::make_unique<int32_t[]>(n);
        gBlueStack = std::make_unique<int32_t[]>(n);
        std::mt19937 rng(7);
        std::uniform_int_distribution<int32_t> sums(0, 510);
        for (std::size_t i = 0; i < n; ++i) {
            gRedStack[i] = sums(rng);
            gGreenStack[i] = sums(rng);
            gBlueStack[i] = sums(rng);
        }
        gFrameStack = MakeImage(kW, kH);
        ProjectStackIntoFrameStackGWorld(false);
        mRed = Plane(gRedStack);
        mGreen = Plane(gGreenStack);
        mBlue = Plane(gBlueStack);
    }
    void TearDown() override
    {
        FinishDeletion();
        delete gTestFilterInterface; // a dialog a failed test left open
        gTestFilterInterface = nullptr;
        gRedStack.reset();
        gGreenStack.reset();
        gBlueStack.reset();
        gFrameStack.reset();
        gRedChannelOn = gGreenChannelOn = gBlueChannelOn = true;
    }
    // Runs the event loop until the dialogs that ended are deleted.
    static void FinishDeletion()
    {
        for (int i = 0; i < 20 && gCounts.deleted < gCounts.constructed; ++i)
            QApplication::processEvents();
    }
    bool PlanesAsSaved() const
    {
        return Plane(gRedStack) == mRed && Plane(gGreenStack) == mGreen && Plane(gBlueStack) == mBlue;
    }

    std::vector<int32_t> mRed, mGreen, mBlue;
};

} // namespace

TEST_F(DialogInterfaceTest, CancelAfterPreviewRestoresThePlanes)
{
    auto* dialog = new TestFilterInterface;
    EXPECT_TRUE(IsDialogOpen());
    dialog->Apply();
    EXPECT_FALSE(PlanesAsSaved());
    dialog->Click(kDialogCancel);
    EXPECT_EQ(gTestFilterInterface, nullptr);
    FinishDeletion();
    EXPECT_EQ(gCounts.deleted, 1);
    EXPECT_EQ(gCounts.commits, 0);
    EXPECT_TRUE(PlanesAsSaved());
    EXPECT_TRUE(SamePixels(*gFrameStack, *ExpectedDisplay(mRed, mGreen, mBlue, gNumFramesInStack, 0)));
    EXPECT_FALSE(IsDialogOpen());
}

TEST_F(DialogInterfaceTest, OkKeepsTheFilteredPlanes)
{
    auto* dialog = new TestFilterInterface;
    dialog->Apply();
    const auto red = Plane(gRedStack), green = Plane(gGreenStack), blue = Plane(gBlueStack);
    dialog->Click(kDialogOK);
    FinishDeletion();
    EXPECT_EQ(gCounts.commits, 1);
    EXPECT_EQ(gCounts.deleted, 1);
    EXPECT_EQ(Plane(gRedStack), red);
    EXPECT_EQ(Plane(gGreenStack), green);
    EXPECT_EQ(Plane(gBlueStack), blue);
    // OK projects with growth: the divisor rises to the largest sum / 255.
    int32_t m = 0;
    for (std::size_t i = 0; i < red.size(); ++i)
        m = std::max({m, red[i], green[i], blue[i]});
    EXPECT_DOUBLE_EQ(gNumFramesInStack, std::max(2.0, m / 255.0));
    EXPECT_TRUE(SamePixels(*gFrameStack, *ExpectedDisplay(red, green, blue, gNumFramesInStack, 0)));
}

TEST_F(DialogInterfaceTest, OpenedWithRedOnlySavesAllChannels)
{
    gGreenChannelOn = gBlueChannelOn = false;
    ProjectStackIntoFrameStackGWorld(false);
    const auto redOnly = ExpectedDisplay(mRed, mGreen, mBlue, 2.0, 1);
    ASSERT_TRUE(SamePixels(*gFrameStack, *redOnly));

    auto* dialog = new TestFilterInterface;
    EXPECT_TRUE(SamePixels(dialog->unfilteredImage(), *ExpectedDisplay(mRed, mGreen, mBlue, 2.0, 0)));
    EXPECT_TRUE(gRedChannelOn);
    EXPECT_FALSE(gGreenChannelOn);
    EXPECT_FALSE(gBlueChannelOn);
    EXPECT_TRUE(SamePixels(*gFrameStack, *redOnly)); // the window keeps the red channel
    dialog->Click(kDialogCancel);
    FinishDeletion();
    EXPECT_TRUE(gRedChannelOn && gGreenChannelOn && gBlueChannelOn);
    EXPECT_TRUE(SamePixels(*gFrameStack, *ExpectedDisplay(mRed, mGreen, mBlue, 2.0, 0)));

    gGreenChannelOn = gBlueChannelOn = false;
    ProjectStackIntoFrameStackGWorld(false);
    dialog = new TestFilterInterface;
    dialog->Click(kDialogOK);
    FinishDeletion();
    EXPECT_TRUE(gRedChannelOn && gGreenChannelOn && gBlueChannelOn);
    EXPECT_TRUE(SamePixels(*gFrameStack, *ExpectedDisplay(mRed, mGreen, mBlue, 2.0, 0)));
}

TEST_F(DialogInterfaceTest, PreviewSwitchLeavesThePlanes)
{
    auto* dialog = new TestFilterInterface;
    EXPECT_EQ(dialog->control(kDialogPreview).Value(), 1);
    EXPECT_EQ(dialog->control(kDialogHistogramScale).Value(), 3);
    dialog->Apply();
    const auto red = Plane(gRedStack), green = Plane(gGreenStack), blue = Plane(gBlueStack);
    const auto live = ExpectedDisplay(red, green, blue, 2.0, 0);
    for (int round = 0; round < 2; ++round) {
        dialog->Click(kDialogPreview);
        EXPECT_FALSE(dialog->preview());
        EXPECT_TRUE(SamePixels(*gFrameStack, dialog->unfilteredImage()));
        dialog->Click(kDialogPreview);
        EXPECT_TRUE(dialog->preview());
        EXPECT_TRUE(SamePixels(*gFrameStack, *live));
        EXPECT_EQ(Plane(gRedStack), red);
        EXPECT_EQ(Plane(gGreenStack), green);
        EXPECT_EQ(Plane(gBlueStack), blue);
    }
    dialog->Click(kDialogCancel);
    FinishDeletion();
    EXPECT_TRUE(PlanesAsSaved());
}

TEST_F(DialogInterfaceTest, DoubleOkCommitsAndDeletesOnce)
{
    auto* dialog = new TestFilterInterface;
    dialog->Click(kDialogOK);
    dialog->Click(kDialogOK); // before the deferred deletion
    FinishDeletion();
    EXPECT_EQ(gCounts.commits, 1);
    EXPECT_EQ(gCounts.deleted, 1);
}

TEST_F(DialogInterfaceTest, EventsPumpedDuringCommitAreIgnored)
{
    gCounts.pumpInCommit = true;
    auto* dialog = new TestFilterInterface;
    dialog->Click(kDialogOK);
    FinishDeletion();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    EXPECT_EQ(gCounts.commits, 1);
    EXPECT_EQ(gCounts.deleted, 1);
}

TEST_F(DialogInterfaceTest, OutOfMemoryInCommitRestoresThePlanes)
{
    ScriptedInteraction interaction;
    gCounts.throwInCommit = true;
    auto* dialog = new TestFilterInterface;
    dialog->Apply();
    dialog->Click(kDialogOK);
    FinishDeletion();
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    EXPECT_EQ(gCounts.commits, 1);
    EXPECT_EQ(gCounts.deleted, 1);
    EXPECT_EQ(interaction.AlertCount(), 1);
    EXPECT_TRUE(PlanesAsSaved());
    EXPECT_TRUE(SamePixels(*gFrameStack, *ExpectedDisplay(mRed, mGreen, mBlue, 2.0, 0)));
}

TEST_F(DialogInterfaceTest, OutOfMemoryInConstructionLeavesNothing)
{
    const bool openBefore = IsDialogOpen();
    const int windowsBefore = static_cast<int>(QApplication::topLevelWidgets().size());
    FailNextImageAllocationsForTesting(1); // the saved picture
    EXPECT_THROW(new TestFilterInterface, std::bad_alloc);
    FailNextImageAllocationsForTesting(0);
    QApplication::processEvents();
    EXPECT_EQ(gTestFilterInterface, nullptr);
    EXPECT_EQ(IsDialogOpen(), openBefore);
    EXPECT_EQ(static_cast<int>(QApplication::topLevelWidgets().size()), windowsBefore);
    EXPECT_TRUE(gRedChannelOn && gGreenChannelOn && gBlueChannelOn);
    EXPECT_TRUE(PlanesAsSaved());
}

TEST_F(DialogInterfaceTest, EventsDuringConstructionAreIgnored)
{
    // The window is shown while the object is built: its draw event must not
    // reach the subclass, which does not exist yet.
    auto* dialog = new TestFilterInterface;
    EXPECT_EQ(gCounts.redraws, 0);
    DialogEvent draw(DialogEvent::drawContent);
    dialog->Dispatch(draw);
    EXPECT_EQ(gCounts.redraws, 1);
    dialog->End(true);
    dialog->Dispatch(draw); // closing: ignored
    EXPECT_EQ(gCounts.redraws, 1);
    FinishDeletion();
}

TEST_F(DialogInterfaceTest, ArrowKeysNudge)
{
    auto* dialog = new TestFilterInterface;
    QWidget* edit = dialog->control(kEditControl).Widget();
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        bool up, shift;
    } keys[] = {{Qt::Key_Right, Qt::NoModifier, true, false},
                {Qt::Key_Up, Qt::ShiftModifier, true, true},
                {Qt::Key_Left, Qt::NoModifier, false, false},
                {Qt::Key_Down, Qt::ShiftModifier, false, true}};
    for (const auto& k : keys) {
        QKeyEvent press(QEvent::KeyPress, k.key, k.modifiers);
        QApplication::sendEvent(edit, &press);
    }
    ASSERT_EQ(gCounts.nudges.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(gCounts.nudges[i].first, keys[i].up) << i;
        EXPECT_EQ(gCounts.nudges[i].second, keys[i].shift) << i;
    }
    // Esc is Cancel.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(edit, &escape);
    EXPECT_EQ(gTestFilterInterface, nullptr);
    FinishDeletion();
    EXPECT_EQ(gCounts.commits, 0);
    EXPECT_TRUE(PlanesAsSaved());
}

TEST_F(DialogInterfaceTest, EnterIsOkAndSelectorsAreControlHits)
{
    auto* dialog = new TestFilterInterface;
    auto* selector = qobject_cast<QComboBox*>(dialog->control(kDialogHistogramScale).Widget());
    ASSERT_NE(selector, nullptr);
    selector->activated(0); // the user picks the first entry
    ASSERT_EQ(gCounts.hits.size(), 1u);
    EXPECT_EQ(gCounts.hits[0], kDialogHistogramScale);
    EXPECT_NE(gTestFilterInterface, nullptr); // not an ending control
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dialog->control(kEditControl).Widget(), &enter);
    EXPECT_EQ(gTestFilterInterface, nullptr);
    FinishDeletion();
    EXPECT_EQ(gCounts.commits, 1);
}

TEST_F(DialogInterfaceTest, RealPressesAndKeysReachTheDialogOnceWhereTheyHappened)
{
    gCounts.busyInHandlers = true;
    auto* dialog = new TestFilterInterface;
    Canvas* canvas = dialog->canvas();
    QCursor::setPos(canvas->mapToGlobal(QPoint(200, 150))); // the pointer has moved on
    QApplication::processEvents();
    QTest::mousePress(canvas, Qt::LeftButton, {}, QPoint(50, 60));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, QPoint(50, 60));
    QTest::keyClick(canvas, Qt::Key_Right);
    EXPECT_EQ(gCounts.pressesAt, std::vector<QPoint>{QPoint(50, 60)});
    EXPECT_EQ(gCounts.nudges.size(), 1u);
    dialog->Click(kDialogCancel);
    FinishDeletion();
}

TEST_F(DialogInterfaceTest, CloseBoxIsCancelAndMouseCanEnd)
{
    auto* dialog = new TestFilterInterface;
    dialog->window()->close();
    FinishDeletion();
    EXPECT_EQ(gCounts.deleted, 1);
    EXPECT_EQ(gCounts.commits, 0);

    gCounts.endOnMouse = true;
    dialog = new TestFilterInterface;
    DialogEvent press(DialogEvent::mouseDown);
    EXPECT_EQ(dialog->Dispatch(press), kEventHandled);
    EXPECT_EQ(gCounts.mice, 1);
    dialog->Dispatch(press); // the dialog is closing
    EXPECT_EQ(gCounts.mice, 1);
    FinishDeletion();
    EXPECT_EQ(gCounts.deleted, 2);
}

TEST_F(DialogInterfaceTest, ClosingWithoutADocumentKeepsClipMenusOff)
{
    MenuBarInit();
    MenuModel& menus = GetMenuModel();
    UpdateMenuState();
    ASSERT_FALSE(menus.IsMenuEnabled(kEditMenu)); // no clips
    ASSERT_TRUE(menus.IsMenuEnabled(kFileMenu));
    auto* dialog = new TestFilterInterface;
    EXPECT_FALSE(menus.IsMenuEnabled(kFileMenu));
    dialog->Click(kDialogCancel);
    FinishDeletion();
    EXPECT_FALSE(menus.IsMenuEnabled(kEditMenu));
    EXPECT_FALSE(menus.IsMenuEnabled(kOperationsMenu));
    EXPECT_TRUE(menus.IsMenuEnabled(kFileMenu));
}

// ---------------------------------------------------------------- edit text

namespace {

struct ParseCase {
    const char* text;
    int asInt;
    double asFloat;
};
// Written by hand from how a C program reads a number at the start of a text.
const ParseCase kParseCases[] = {{"12abc", 12, 12.0}, {"3.5", 3, 3.5}, {"  7", 7, 7.0}, {"-4x", -4, -4.0},
                                 {"1e3", 1, 1000.0},  {".5", 0, 0.5},  {"", 0, 0.0},    {"abc", 0, 0.0},
                                 {"3,5", 3, 3.0},     {"0", 0, 0.0},   {"+8", 8, 8.0},  {"\t-0.25", 0, -0.25}};

void CheckParseTable()
{
    for (const ParseCase& c : kParseCases) {
        EXPECT_EQ(ParseLeadingInt(c.text), c.asInt) << '"' << c.text << '"';
        EXPECT_DOUBLE_EQ(ParseLeadingFloat(c.text), c.asFloat) << '"' << c.text << '"';
    }
}

} // namespace

TEST(EditTextNumbers, ParseTable)
{
    CheckParseTable();
}

// The parse runs in a child process: switching the C library's locale there
// leaves this process as it was (and glibc keeps a few bytes of the switch
// for the process's life).
void ParseUnderGermanLocaleAndExit(const std::string& folder)
{
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) {
        setenv("LOCPATH", folder.c_str(), 1);
        if (!std::setlocale(LC_ALL, "de_DE.UTF-8"))
            _exit(2);
    }
    try {
        std::locale::global(std::locale("de_DE.UTF-8"));
    } catch (const std::runtime_error&) {
        // Only the C library knows the locale: still a comma separator.
    }
    if (std::strcmp(std::localeconv()->decimal_point, ",") != 0)
        _exit(3);
    for (const ParseCase& c : kParseCases)
        if (ParseLeadingInt(c.text) != c.asInt || ParseLeadingFloat(c.text) != c.asFloat)
            _exit(1);
    _exit(0);
}

TEST(EditTextNumbers, ParseTableUnderAGermanLocale)
{
    // Compile the locale into a private folder when it is not installed
    // (Debian ships its sources).
    const std::string folder = ReferenceScratchDir() + "/locales";
    const std::string command =
        "mkdir -p '" + folder + "' && localedef -i de_DE -f UTF-8 '" + folder + "/de_DE.UTF-8' >/dev/null 2>&1";
    if (!std::setlocale(LC_ALL, nullptr) || std::system(command.c_str()) != 0)
        GTEST_SKIP() << "de_DE.UTF-8 cannot be made here";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ParseUnderGermanLocaleAndExit(folder), testing::ExitedWithCode(0), "");
}

TEST_F(DialogInterfaceTest, EditTextReadsTheField)
{
    auto* dialog = new TestFilterInterface;
    auto* edit = qobject_cast<QLineEdit*>(dialog->control(kEditControl).Widget());
    ASSERT_NE(edit, nullptr);
    edit->setMaxLength(1000);
    edit->setText("12abc");
    EXPECT_EQ(dialog->getEditableTextInt(kControlSignature, kEditControl), 12);
    edit->setText("3.5");
    EXPECT_EQ(dialog->getEditableTextInt(kControlSignature, kEditControl), 3);
    EXPECT_DOUBLE_EQ(dialog->getEditableTextFloat(kControlSignature, kEditControl), 3.5);

    char buffer[4];
    std::memset(buffer, 'x', sizeof buffer);
    edit->setText("hello");
    dialog->getEditableTextCStr(kControlSignature, kEditControl, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "hel");
    dialog->getEditableTextCStr(kControlSignature, kEditControl, nullptr, 4); // no buffer: nothing
    // Only the first 255 characters are read.
    edit->setText(QString(255, QChar('1')) + "9");
    char longBuffer[400];
    dialog->getEditableTextCStr(kControlSignature, kEditControl, longBuffer, sizeof longBuffer);
    EXPECT_EQ(std::strlen(longBuffer), 255u);
    dialog->Click(kDialogCancel);
    FinishDeletion();
}
