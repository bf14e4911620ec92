// SPDX-FileCopyrightText: 2026 The Tarvine developers
// SPDX-License-Identifier: GPL-3.0-or-later

// The keyboard focus across display runs (no display moves it, and what the
// user then types writes nothing), the read-outs that must hold any 32-bit
// value, the main window's geometry at its minimum and a wide size, and the
// colours of validated edits.
#include "AppWindowsFixture.h"

#include "app/AppWindows.h"
#include "app/TFormMain.h"
#include "device/ModelProfile.h"
#include "device/QLMCSession.h"
#include "link/QLMCConnection.h"
#include "panel/RegulationParameter.h"
#include "sim/SimServer.h"
#include "ui/connection/TFormParamIP.h"
#include "ui/main/DisplayPanel.h"
#include "ui/widgets/EditColour.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStyle>
#include <QTabWidget>
#include <QTest>
#include <QThreadPool>

#include <cmath>
#include <cstdlib>
#include <memory>

using uitest::child;
using uitest::waitFor;

namespace {

// The edits that write to the device on Enter.
const char *const WritingEdits[] = {
    "ECons",         "ECons1",    "ECons2",    "EKp",           "EKi",  "EKd",
    "EVffOffset",    "EKvff",     "EKaff",     "EKdff",         "EArw", "EAcceleration",
    "EDeceleration", "ESpeedMax", "EDeadZone", "EEncoderRatio",
};

bool isWritingEdit(const QWidget *widget)
{
    if (!widget)
        return false;
    for (const char *name : WritingEdits)
        if (widget->objectName() == QLatin1String(name))
            return true;
    return false;
}

std::string nameOf(const QWidget *widget)
{
    return widget ? widget->objectName().toStdString() : std::string("<none>");
}

/// Where the screenshots go when TARVINE_SCREENSHOTS names a folder.
QString screenshotPath(const char *file)
{
    const char *folder = std::getenv("TARVINE_SCREENSHOTS");
    return folder ? QDir(QString::fromLocal8Bit(folder)).filePath(QLatin1String(file)) : QString();
}

class FocusTest : public AppWindowsSimFixture
{
protected:
    void SetUp() override
    {
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        main.show();
        QApplication::setActiveWindow(&main); // focus changes need an active window
    }

    /// Opens TCP to a virtual NETDC-A at 127.0.0.\a host; returns once it is
    /// identified and its read-back has been shown.
    void open(int host)
    {
        ASSERT_NO_FATAL_FAILURE(startAndOpen(host, "NETDC-A"));
        QApplication::setActiveWindow(&main);
        ASSERT_TRUE(waitFor([this] { return main.windowTitle().contains("NETDC-A"); }));
        ASSERT_TRUE(waitFor([this] { return session.statistics().answersDecoded.load() > 30; }));
        settle();
    }

    /// Lets the display runs of the answers on their way happen.
    static void settle()
    {
        waitFor([] { return false; }, 300);
    }

    size_t wireWrites() const
    {
        size_t count = 0;
        for (const SimWireEvent &request : wire->requests())
            count += request.function == Function::Write;
        return count;
    }

    /// The focus is on no edit that writes, and "5" Enter typed where it is
    /// (or into the window) sends nothing.
    void expectTypingSendsNothing(const char *when)
    {
        SCOPED_TRACE(when);
        QWidget *focused = QApplication::focusWidget();
        EXPECT_FALSE(isWritingEdit(focused)) << nameOf(focused);
        wire->clear();
        QWidget *target = focused ? focused : static_cast<QWidget *>(&main);
        QTest::keyClicks(target, QStringLiteral("5"));
        QTest::keyClick(target, Qt::Key_Return);
        settle();
        EXPECT_EQ(wireWrites(), 0u) << nameOf(focused);
    }
};

} // namespace

TEST_F(FocusTest, OpenAndDeviceSideModeChangeLeaveTheFocusAlone)
{
    open(101);
    expectTypingSendsNothing("after Open");

    // The user picked a mode; the device then reports another one.
    QRadioButton *openLoop = get<QRadioButton>("RBOpenLoop");
    QTest::mouseClick(openLoop, Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), openLoop);
    settle();
    for (const uint8_t mode : {uint8_t(5), uint8_t(4)}) {
        const uint8_t value[] = {mode};
        ASSERT_TRUE(controller->writeRegister(Reg::RegulationMode, value));
        QRadioButton *shown = get<QRadioButton>(mode == 5 ? "RBTraj" : "RBSpePID");
        ASSERT_TRUE(waitFor([&] { return shown->isChecked(); }, 3000)) << int(mode);
        EXPECT_EQ(QApplication::focusWidget(), openLoop) << nameOf(QApplication::focusWidget());
        expectTypingSendsNothing(mode == 5 ? "after mode 5" : "after mode 4");
    }
}

TEST_F(FocusTest, ParameterReadBackKeepsTheFocusInTheEdit)
{
    open(102);
    const uint8_t kp[] = {0x00, 0x03, 0x00, 0x00}; // 3.0, set on the device's side
    ASSERT_TRUE(controller->writeRegister(Reg::Kp, kp));
    QLineEdit *edit = get<QLineEdit>("EKp");
    edit->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), edit);

    get<QPushButton>("BReadParam")->click();
    ASSERT_TRUE(waitFor([&] { return edit->text() == uitest::local("3.00000"); }, 3000));
    EXPECT_EQ(QApplication::focusWidget(), edit) << nameOf(QApplication::focusWidget());
    EXPECT_TRUE(get<QCheckBox>("CBPIDActive")->isChecked());

    // A space where the focus is now is no click on CBPIDActive: no gains are zeroed.
    wire->clear();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    settle();
    EXPECT_TRUE(get<QCheckBox>("CBPIDActive")->isChecked());
    EXPECT_EQ(wireWrites(), 0u);
}

// Against the register image: whatever has the focus keeps it through a
// display run that shows every regulation parameter and a new mode, and no
// display writes.
TEST_F(FocusTest, DisplayRunsKeepAnyFocus)
{
    main.context().connectedControls().setConnected(true);
    main.applyIdentification(identifyDevice(0x00020001, 0x00070012));
    uint8_t mode = 0;
    for (const char *name :
         {"EKp", "TBKp", "EKi", "TBArw", "EEncoderRatio", "RBOpenLoop", "TBCons", "CBPIDActive"}) {
        SCOPED_TRACE(name);
        QWidget *widget = get<QWidget>(name);
        widget->setFocus();
        ASSERT_EQ(QApplication::focusWidget(), widget);
        QLMCIPPacket answer;
        answer.Function = Function::ReadAnswer;
        int at = 0;
        for (const RegulationParameter &p : regulationParameters()) {
            answer.Data[size_t(at++)] = uint8_t(p.address);
            const uint32_t value = 0x00020000u + uint32_t(at);
            for (int shift = 24; shift >= 0; shift -= 8)
                answer.Data[size_t(at++)] = uint8_t(value >> shift);
        }
        mode = uint8_t(mode == 5 ? 2 : 5);
        answer.Data[size_t(at++)] = Reg::RegulationMode;
        answer.Data[size_t(at++)] = mode;
        answer.Length = at;
        session.ModeSync = true;
        session.DataReceived(answer);
        main.runDisplay();
        EXPECT_EQ(QApplication::focusWidget(), widget) << nameOf(QApplication::focusWidget());
        RegisterLockGuard guard(session.lock());
        for (const QLMCRegister &reg : session.motor().registers())
            EXPECT_FALSE(reg.WriteRequest) << reg.Address;
    }
}

// --- Read-outs and geometry ------------------------------------------------------

namespace {

QRect geometryIn(const QWidget *widget, const QWidget *ancestor)
{
    return QRect(widget->mapTo(ancestor, QPoint(0, 0)), widget->size());
}

class LayoutTest : public ::testing::Test
{
protected:
    TFormMain main;

    void SetUp() override
    {
        main.show();
        resize(main.minimumSize());
    }
    void resize(QSize size)
    {
        main.resize(size);
        QApplication::processEvents();
    }

    /// The groups that keep their place and size, and the graph pages.
    QList<QWidget *> groups() const
    {
        QList<QWidget *> list;
        for (const char *name : {"GBRegulationParameters", "GBDisplay", "GBRefresh",
                                 "GBRegulationMode", "GBInput", "GBEeprom", "PageControlGraph"})
            list << child<QWidget>(main, name);
        return list;
    }

    void expectNoOverlap()
    {
        const QWidget *central = main.centralWidget();
        const QList<QWidget *> all = groups();
        for (int i = 0; i < all.size(); ++i) {
            const QRect a = geometryIn(all[i], central);
            EXPECT_TRUE(central->rect().contains(a)) << nameOf(all[i]);
            for (int j = i + 1; j < all.size(); ++j)
                EXPECT_FALSE(a.intersects(geometryIn(all[j], central)))
                    << nameOf(all[i]) << " / " << nameOf(all[j]);
            // Nothing inside a fixed group sticks out of it.
            if (all[i]->objectName() == QLatin1String("PageControlGraph"))
                continue;
            for (const QWidget *inner : all[i]->findChildren<QWidget *>())
                if (inner->isVisible()) {
                    EXPECT_TRUE(all[i]->rect().contains(geometryIn(inner, all[i])))
                        << nameOf(all[i]) << ": " << nameOf(inner);
                }
        }
    }

    void setPosition(int32_t position, int32_t speed, int32_t desired)
    {
        QLMCSession &session = main.context().session();
        {
            RegisterLockGuard guard(session.lock());
            session.Received.Position = position;
            session.Received.Speed = speed;
            session.Received.Desired = desired;
            for (ValueFlag flag : {ValueFlag::Position, ValueFlag::Speed, ValueFlag::Desired})
                session.Flags.raise(flag);
        }
        main.runDisplay();
    }
};

} // namespace

TEST_F(LayoutTest, MinimumSizeHoldsEveryGroupAndOnlyTheChartsGrow)
{
    EXPECT_GE(main.minimumSize().width(), main.minimumSizeHint().width());
    EXPECT_GE(main.minimumSize().height(), main.minimumSizeHint().height());
    expectNoOverlap();
    main.grab().save(screenshotPath("main-minimum.png"));

    QMap<QString, QRect> atMinimum;
    for (QWidget *group : groups())
        atMinimum[group->objectName()] = geometryIn(group, &main);
    resize({1600, 900});
    expectNoOverlap();
    for (QWidget *group : groups()) {
        const QRect now = geometryIn(group, &main);
        if (group->objectName() == QLatin1String("PageControlGraph")) {
            EXPECT_GT(now.width(), atMinimum[group->objectName()].width());
            EXPECT_GT(now.height(), atMinimum[group->objectName()].height());
        } else {
            EXPECT_EQ(now, atMinimum[group->objectName()]) << nameOf(group);
        }
    }
    main.grab().save(screenshotPath("main-wide.png"));
}

TEST_F(LayoutTest, ReadOutsHoldEveryThirtyTwoBitValue)
{
    DisplayPanel *display = main.displayPanel();
    const auto expectFits = [](const QLabel *label) {
        const int room = label->contentsRect().width() - 2 * label->margin();
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), room)
            << nameOf(label) << " " << label->text().toStdString();
    };
    for (const int32_t value : {INT32_MIN, INT32_MAX, -2000000000}) {
        setPosition(value, value, value);
        for (const QLabel *label :
             {display->positionBig(), display->speedBig(), display->desiredBig()}) {
            EXPECT_EQ(label->text(), QString::number(value));
            expectFits(label);
        }
    }
    // Steppers show the position in full steps with 3 decimals in the third read-out.
    main.context().setStepperUnits(true);
    setPosition(INT32_MIN, 0, 0);
    EXPECT_EQ(display->desiredBig()->text(), uitest::local("-8388608.000"));
    expectFits(display->desiredBig());
    main.context().setStepperUnits(false);

    setPosition(-2000000000, -1500000, 1999999999);
    main.grab().save(screenshotPath("main-position-minus-2000000000.png"));
}

// --- Edit colours ----------------------------------------------------------------

TEST(EditColour, ColoursOnlyTheEnabledLookAndLeavesTheDisabledOneToTheStyle)
{
    // WCAG contrast of two colours (1 to 21).
    const auto luminance = [](const QColor &c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF())
               + 0.0722 * channel(c.blueF());
    };
    const auto contrast = [&](const QColor &a, const QColor &b) {
        const double la = luminance(a), lb = luminance(b);
        return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
    };
    // On a light and on a dark theme.
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark);
        QWidget parent;
        if (dark) {
            QPalette p = parent.palette();
            p.setColor(QPalette::Base, QColor(30, 30, 30));
            p.setColor(QPalette::Text, QColor(230, 230, 230));
            parent.setPalette(p);
        }
        QLineEdit edit(&parent);
        const QPalette normal = edit.palette();
        for (const bool valid : {false, true, false, true}) {
            SCOPED_TRACE(valid);
            setEditValid(&edit, valid);
            EXPECT_EQ(isEditMarkedInvalid(&edit), !valid);
            for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
                const QColor base = edit.palette().color(group, QPalette::Base);
                const QColor text = edit.palette().color(group, QPalette::Text);
                EXPECT_EQ(base, valid ? normal.color(group, QPalette::Base) : invalidEditBase());
                EXPECT_EQ(text, valid ? normal.color(group, QPalette::Text) : invalidEditText());
                if (!valid) {
                    // Still red, and the text on it readable.
                    EXPECT_TRUE(base.hue() <= 10 || base.hue() >= 350) << base.hue();
                    EXPECT_GT(base.red(), base.green() + 60);
                    EXPECT_GE(contrast(base, text), 7.0);
                }
            }
            EXPECT_EQ(edit.palette().color(QPalette::Disabled, QPalette::Base),
                      normal.color(QPalette::Disabled, QPalette::Base));
        }
    }
}
