// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/panelbuilder.h"

#include "link/commands.h"
#include "shell/framebox.h"
#include "shell/frequencydisplay.h"
#include "shell/led.h"
#include "shell/panelbuttons.h"
#include "shell/slider.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <vector>

namespace rxdeck {
namespace {

struct Rect
{
    int left, top, width, height; // twips
};

QRect toPixels(const Rect& r)
{
    return QRect(px(r.left), px(r.top), px(r.width), px(r.height));
}

// Colours as the panel's design gives them, red/green/blue.
const QColor frameGrey(192, 192, 192);
const QColor frameLight(224, 224, 224);
const QColor darkBlue(0, 0, 192);
const QColor readoutYellow(192, 192, 0);

struct FrameSpec
{
    int number;
    const char* caption;
    Rect rect;
    int background; // 0 button face, 1 grey, 2 light grey
};

// Window-level frames, in stacking order: Frame2 lies over Frame3's area, and the
// small scan frames over Frame16's.
constexpr FrameSpec frames[] = {
    {5, "S-meter", {120, 1560, 4335, 1215}, 0},
    {3, "Tuning", {120, 2880, 4335, 2415}, 1},
    {2, "Direct freq entry", {360, 4080, 3735, 1095}, 2},
    {16, "Scanning", {120, 5400, 4335, 2895}, 1},
    {12, "Low limit", {2040, 5520, 1815, 735}, 0},
    {13, "High limit", {2040, 6240, 1815, 735}, 0},
    {14, "Dwell time", {360, 6960, 3855, 615}, 0},
    {15, "Step size", {360, 7560, 3855, 615}, 0},
    {1, "RF path", {4560, 120, 5055, 855}, 1},
    {8, "Detection Mode", {4560, 1080, 5055, 855}, 1},
    {9, "Bandwidth", {4560, 2040, 5055, 855}, 1},
    {4, "Gain control", {4560, 3000, 5055, 975}, 1},
    {6, "CW Passband tuning", {4560, 4080, 5055, 975}, 1},
    {7, "CW BFO", {4560, 5160, 5055, 975}, 1},
    {10, "Noise Blanker", {4560, 6240, 5055, 975}, 1},
    {11, "Squelch", {4560, 7320, 5055, 975}, 1},
};

enum class Face
{
    Plain,
    TempRecall,
    Store,
    Select
};

// How a button acts: clicked, stepping the frequency, or choosing a setting shown by
// a lamp (chosenBy: its LED number) or by the AGC readout (chosenBy 0: its caption
// before " AGC").
enum class Act
{
    Click,
    Step,
    Choose
};

struct ButtonSpec
{
    int number;
    const char* caption;
    Rect rect;
    int container;           // 0: the window; otherwise the frame number
    const char* name;        // for assistive technology, in the operator's words
    const char* description; // what the name leaves unsaid; may be empty
    Face face = Face::Plain;
    Act act = Act::Click;
    int chosenBy = 0;
};

constexpr const char* stepDescription =
    "Steps the frequency once; held down with the mouse, it steps again every 150 ms.";
constexpr const char* storeDescription =
    "Stores the frequency in the scratch memory whose button is below this square.";
constexpr const char* recallDescription =
    "Tunes to the frequency stored in this scratch memory; its caption shows it.";

// clang-format off
constexpr ButtonSpec buttons[] = {
    // Tuning
    {35, "+100k", {120, 240, 735, 375}, 3, "Tune up 100 kHz", stepDescription, Face::Plain,
     Act::Step},
    {36, "-100k", {120, 720, 735, 375}, 3, "Tune down 100 kHz", stepDescription, Face::Plain,
     Act::Step},
    {21, "+9k", {1080, 3120, 735, 375}, 0, "Tune up 9 kHz", stepDescription, Face::Plain,
     Act::Step},
    {22, "-9k", {1080, 3600, 735, 375}, 0, "Tune down 9 kHz", stepDescription, Face::Plain,
     Act::Step},
    {13, "+1k", {1920, 3120, 735, 375}, 0, "Tune up 1 kHz", stepDescription, Face::Plain,
     Act::Step},
    {14, "-1k", {1920, 3600, 735, 375}, 0, "Tune down 1 kHz", stepDescription, Face::Plain,
     Act::Step},
    {15, "+100Hz", {2760, 3120, 735, 375}, 0, "Tune up 100 Hz", stepDescription, Face::Plain,
     Act::Step},
    {16, "-100Hz", {2760, 3600, 735, 375}, 0, "Tune down 100 Hz", stepDescription, Face::Plain,
     Act::Step},
    {17, "+10Hz", {3600, 3120, 735, 375}, 0, "Tune up 10 Hz", stepDescription, Face::Plain,
     Act::Step},
    {18, "-10Hz", {3600, 3600, 735, 375}, 0, "Tune down 10 Hz", stepDescription, Face::Plain,
     Act::Step},
    {1, "Set Freq", {2640, 4440, 1095, 495}, 0, "Set frequency",
     "Tunes to the frequency typed in the direct-entry box."},
    // Scanning
    {37, "Scan start", {480, 5760, 1095, 495}, 0, "Start scan",
     "Scans from the low limit to the high limit."},
    {40, "Scan stop", {480, 6360, 1095, 495}, 0, "Stop scan", ""},
    // RF path
    {24, "Normal", {360, 480, 1215, 255}, 1, "RF path normal", "", Face::Plain, Act::Choose, 19},
    {25, "Attenuated", {1920, 480, 1215, 255}, 1, "RF path attenuated", "", Face::Plain,
     Act::Choose, 20},
    {26, "Preamplified", {3480, 480, 1215, 255}, 1, "RF path preamplified", "", Face::Plain,
     Act::Choose, 21},
    // Detection mode
    {2, "AM", {4680, 1560, 735, 255}, 0, "Mode AM", "", Face::Plain, Act::Choose, 1},
    {3, "FM", {5520, 1560, 735, 255}, 0, "Mode FM", "", Face::Plain, Act::Choose, 14},
    {4, "CW", {6360, 1560, 735, 255}, 0, "Mode CW", "", Face::Plain, Act::Choose, 15},
    {5, "USB", {7200, 1560, 735, 255}, 0, "Mode USB", "", Face::Plain, Act::Choose, 16},
    {6, "LSB", {8040, 1560, 735, 255}, 0, "Mode LSB", "", Face::Plain, Act::Choose, 17},
    {7, "ISB", {8880, 1560, 615, 255}, 0, "Mode ISB", "", Face::Plain, Act::Choose, 18},
    // Bandwidth
    {12, "300Hz", {4800, 2520, 735, 255}, 0, "Bandwidth 300 Hz", "", Face::Plain, Act::Choose, 22},
    {8, "1kHz", {5760, 2520, 735, 255}, 0, "Bandwidth 1 kHz", "", Face::Plain, Act::Choose, 23},
    {9, "3.2kHz", {6720, 2520, 735, 255}, 0, "Bandwidth 3.2 kHz", "", Face::Plain, Act::Choose, 24},
    {10, "6kHz", {7680, 2520, 735, 255}, 0, "Bandwidth 6 kHz", "", Face::Plain, Act::Choose, 25},
    {11, "16kHz", {8640, 2520, 735, 255}, 0, "Bandwidth 16 kHz", "", Face::Plain, Act::Choose, 26},
    // AGC
    {19, "Slow AGC", {4800, 3480, 1095, 375}, 0, "Slow AGC", "", Face::Plain, Act::Choose},
    {20, "Fast AGC", {6120, 3480, 1095, 375}, 0, "Fast AGC", "", Face::Plain, Act::Choose},
    // BFO reset
    {41, "Reset", {3120, 120, 615, 255}, 7, "Reset BFO", "Returns the BFO to 0 Hz."},
    // Scratch memories: the store squares sit just above their recall buttons.
    {27, "", {240, 1080, 135, 135}, 0, "Store frequency in scratch memory A", storeDescription,
     Face::Store},
    {31, "", {1320, 1080, 135, 135}, 0, "Store frequency in scratch memory B", storeDescription,
     Face::Store},
    {32, "", {2400, 1080, 135, 135}, 0, "Store frequency in scratch memory C", storeDescription,
     Face::Store},
    {33, "", {3480, 1080, 135, 135}, 0, "Store frequency in scratch memory D", storeDescription,
     Face::Store},
    {28, "TempA", {240, 1200, 855, 255}, 0, "Tune to scratch memory A", recallDescription,
     Face::TempRecall},
    {29, "TempB", {1320, 1200, 855, 255}, 0, "Tune to scratch memory B", recallDescription,
     Face::TempRecall},
    {30, "TempC", {2400, 1200, 855, 255}, 0, "Tune to scratch memory C", recallDescription,
     Face::TempRecall},
    {34, "TempD", {3480, 1200, 855, 255}, 0, "Tune to scratch memory D", recallDescription,
     Face::TempRecall},
};
// clang-format on

struct SliderSpec
{
    int number;
    int minimum, maximum, smallChange, largeChange, value;
    Rect rect;
    int container;
    const char* name;
    const char* description;
    double shownScale; // the panel shows value times this
    const char* unit;
    bool signedValue;
};

// The receiver's argument ranges, which the sliders span.
constexpr commands::Range gain = commands::gainRange, pbt = commands::passbandRange,
                          bfo = commands::bfoRange, blk = commands::blankerRange,
                          sql = commands::squelchRange;

// clang-format off
constexpr SliderSpec sliders[] = {
    {1, gain.lowest, gain.highest, 5, 5, 100, {2880, 480, 1935, 375}, 4, "Manual gain",
     "RF gain from 0 to 127; moving it sets manual gain control.", 1, "", false},
    {2, pbt.lowest, pbt.highest, 100, 100, 0, {5040, 4560, 4215, 375}, 0, "PBT",
     "CW passband tuning in Hz.", 1, "Hz", true},
    {3, bfo.lowest, bfo.highest, 50, 200, 0, {480, 480, 4215, 375}, 7, "BFO",
     "CW BFO offset in Hz.", 1, "Hz", true},
    {4, blk.lowest, blk.highest, 1, 1, 0, {480, 480, 4215, 375}, 10, "Noise blanker",
     "Noise blanker level, 0 is off.", 1, "", false},
    // left end highest
    {5, sql.highest, sql.lowest, 1, 10, 136, {480, 480, 4215, 375}, 11, "Squelch",
     "Squelch threshold in dBm.", -1, "dBm", false},
    {6, 1, 40, 1, 2, 1, {1440, 240, 2175, 255}, 14, "Dwell time",
     "Seconds the scan stays on a busy frequency.", 0.5, "s", false},
    {7, 1, 25, 1, 1, 1, {1440, 240, 2175, 255}, 15, "Step size", "The scan's step in kHz.", 1,
     "kHz", false},
};
// clang-format on

// The text boxes' names and what they hold.
struct TextSpec
{
    int number;
    const char* name;
    const char* description;
};

constexpr TextSpec textNames[] = {
    {2, "Direct frequency entry",
     "A frequency in MHz with \".\" as the decimal point, such as 7.055."},
    {1, "Scan low limit", "The frequency in MHz where the scan starts."},
    {4, "Scan high limit", "The frequency in MHz where the scan ends."},
    {3, "Signal level", "The receiver's signal level in dBm."},
    {5, "Working frequency", "The frequency the step buttons start from, in MHz."},
};

struct ReadoutSpec
{
    int number;
    Rect rect;
    int container;
};

constexpr ReadoutSpec readouts[] = {
    {8, {2160, 120, 855, 255}, 4},  {6, {2160, 120, 855, 255}, 6},  {5, {2160, 120, 855, 255}, 7},
    {7, {2160, 120, 855, 255}, 10}, {2, {2160, 120, 855, 255}, 11}, {10, {240, 240, 855, 255}, 14},
    {11, {240, 240, 855, 255}, 15},
};

struct LedSpec
{
    int number;
    int ledcolor, shape;
    Rect rect;
    int container;
    const char* caption; // what the lamp stands for in its group
};

// The groups' names, by the frame that holds them; the S-meter's lamps are its own.
struct LampGroupSpec
{
    int frame;
    const char* name;
    const char* whenDark;
};

constexpr LampGroupSpec lampGroupNames[] = {
    {1, "RF path", "unknown"},
    {8, "Mode", "unknown"},
    {9, "Bandwidth", "unknown"},
};

constexpr LedSpec lampGroups[] = {
    // RF path
    {19, 1, 0, {840, 240, 255, 255}, 1, "Normal"},
    {20, 1, 0, {2400, 240, 255, 255}, 1, "Attenuated"},
    {21, 1, 0, {3960, 240, 255, 255}, 1, "Preamplified"},
    // Detection mode
    {1, 2, 0, {360, 240, 255, 255}, 8, "AM"},
    {14, 2, 0, {1200, 240, 255, 255}, 8, "FM"},
    {15, 2, 0, {2040, 240, 255, 255}, 8, "CW"},
    {16, 2, 0, {2880, 240, 255, 255}, 8, "USB"},
    {17, 2, 0, {3720, 240, 255, 255}, 8, "LSB"},
    {18, 2, 0, {4440, 240, 255, 255}, 8, "ISB"},
    // Bandwidth
    {22, 0, 0, {480, 240, 255, 255}, 9, "300 Hz"},
    {23, 0, 0, {1440, 240, 255, 255}, 9, "1 kHz"},
    {24, 0, 0, {2400, 240, 255, 255}, 9, "3.2 kHz"},
    {25, 0, 0, {3360, 240, 255, 255}, 9, "6 kHz"},
    {26, 0, 0, {4320, 240, 255, 255}, 9, "16 kHz"},
};

// The S-meter's twelve lamps, left to right.
constexpr const char* sMeterCaptions[] = {"S1", "S2", "S3", "S4",    "S5",    "S6",
                                          "S7", "S8", "S9", "S9+20", "S9+40", "S9+60"};

void styleButton(QPushButton* button, Face face)
{
    switch (face) {
    case Face::Plain:
        return;
    case Face::TempRecall:
        button->setStyleSheet(QStringLiteral("QPushButton { background-color: rgb(192,192,255); "
                                             "border: 1px solid rgb(64,64,96); }"
                                             "QPushButton:pressed { background-color: "
                                             "rgb(160,160,230); }"));
        return;
    case Face::Store:
        // Flat, captionless squares; a thin light edge keeps them visible on the blue
        // display they sit on.
        button->setStyleSheet(QStringLiteral("QPushButton { background-color: rgb(0,0,255); "
                                             "border: 1px solid rgb(170,170,255); }"
                                             "QPushButton:pressed { background-color: "
                                             "rgb(120,120,255); }"));
        button->setFocusPolicy(Qt::TabFocus);
        return;
    case Face::Select:
        button->setStyleSheet(QStringLiteral("QPushButton { background-color: rgb(255,192,128); "
                                             "border: 1px solid rgb(120,80,40); }"
                                             "QPushButton:pressed { background-color: "
                                             "rgb(230,160,100); }"));
        return;
    }
}

QLabel* makeReadout(QWidget* parent, const Rect& rect)
{
    auto* label = new QLabel(parent);
    label->setGeometry(toPixels(rect));
    label->setAlignment(Qt::AlignCenter);
    label->setFrameShape(QFrame::Box);
    label->setLineWidth(1);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, readoutYellow);
    palette.setColor(QPalette::WindowText, Qt::black);
    label->setPalette(palette);
    return label;
}

QFont panelFont(qreal pointSize)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize);
    return font;
}

QLineEdit* makeText(QWidget* parent, const QString& text, const Rect& rect, qreal pointSize)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setGeometry(toPixels(rect));
    edit->setFont(panelFont(pointSize));
    return edit;
}

} // namespace

void installFontSubstitutes()
{
    // The panel's design names Windows fonts; metric-compatible faces keep the
    // captions and the frequency display inside their controls.
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")});
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"),
                                QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                QStringLiteral("Nimbus Sans"), QStringLiteral("Helvetica")});
}

void buildPanel(QWidget* panel, Controls& ui)
{
    panel->setFont(panelFont(8.25));
    const auto container = [&](int frame) -> QWidget* {
        return frame == 0 ? panel : static_cast<QWidget*>(ui.Frame[std::size_t(frame)]);
    };

    // The display comes first so that the scratch-memory buttons draw over it.
    auto* display = new FrequencyDisplay(panel);
    display->setAccessibleDescription(QStringLiteral("The receiver's frequency."));
    display->setGeometry(toPixels({120, 120, 4335, 1455}));
    // Text at the top, so the scratch-memory buttons below it stay clear.
    display->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    display->setFrameShape(QFrame::Box);
    display->setAutoFillBackground(true);
    {
        QPalette palette = display->palette();
        palette.setColor(QPalette::Window, QColor(0, 0, 255));
        palette.setColor(QPalette::WindowText, Qt::white);
        display->setPalette(palette);
        QFont font(QStringLiteral("Arial"));
        font.setStyleHint(QFont::SansSerif);
        font.setPointSizeF(39.75);
        display->setFont(font);
    }
    ui.Label[1] = display;

    for (const FrameSpec& item : frames) {
        const QColor background = item.background == 1   ? frameGrey
                                  : item.background == 2 ? frameLight
                                                         : panel->palette().color(QPalette::Button);
        auto* frame = new FrameBox(QString::fromLatin1(item.caption), background, panel);
        frame->setGeometry(toPixels(item.rect));
        ui.Frame[std::size_t(item.number)] = frame;
    }

    // The S-meter's scale and its twelve wide lamps, on the window over Frame5.
    auto* scale =
        new ScaleLabel(QStringLiteral("  1      2      3      4       5      6     7      "
                                      "8      9    +20   +40  +60"),
                       px(375) / 2, px(360), ui.Frame[5]);
    scale->setGeometry(toPixels({0, 240, 4335, 495}));
    scale->setObjectName(QStringLiteral("Label4"));
    auto* meter = new LampGroup(QStringLiteral("S-meter"), QStringLiteral("no signal"), panel);
    for (int k = 0; k < 12; ++k) {
        auto* led = new Led(panel, k < 9 ? 1 : 0, 1);
        led->setGeometry(toPixels({120 + 360 * k, 2040, 375, 255}));
        ui.LED[std::size_t(2 + k)] = led;
        meter->add(led, QString::fromLatin1(sMeterCaptions[k]));
    }

    for (const LampGroupSpec& group : lampGroupNames) {
        auto* lamps = new LampGroup(QString::fromLatin1(group.name),
                                    QString::fromLatin1(group.whenDark), panel);
        for (const LedSpec& item : lampGroups) {
            if (item.container != group.frame)
                continue;
            auto* led = new Led(container(item.container), item.ledcolor, item.shape);
            led->setGeometry(toPixels(item.rect));
            ui.LED[std::size_t(item.number)] = led;
            lamps->add(led, QString::fromLatin1(item.caption));
        }
    }

    for (const ReadoutSpec& item : readouts)
        ui.Label[std::size_t(item.number)] = makeReadout(container(item.container), item.rect);

    auto* manual = new QLabel(QStringLiteral("Manual"), ui.Frame[4]);
    manual->setGeometry(toPixels({3600, 240, 615, 255}));
    {
        QPalette palette = manual->palette();
        palette.setColor(QPalette::WindowText, darkBlue);
        manual->setPalette(palette);
    }
    ui.Label[3] = manual;

    for (const SliderSpec& item : sliders) {
        auto* slider = new Slider(item.minimum, item.maximum, item.smallChange, item.largeChange,
                                  item.value, container(item.container));
        slider->setGeometry(toPixels(item.rect));
        slider->setAccessibleName(QString::fromLatin1(item.name));
        slider->setAccessibleDescription(QString::fromLatin1(item.description));
        slider->setShown({item.shownScale, QString::fromLatin1(item.unit), item.signedValue});
        ui.HScroll[std::size_t(item.number)] = slider;
    }

    ui.Text[1] = makeText(ui.Frame[12], QString(), {360, 240, 1215, 315}, 9.75);
    ui.Text[4] = makeText(ui.Frame[13], QString(), {360, 240, 1215, 315}, 9.75);
    ui.Text[2] = makeText(panel, QStringLiteral("7.000"), {720, 4320, 1815, 615}, 18);
    {
        QFont font = ui.Text[2]->font();
        font.setBold(true);
        ui.Text[2]->setFont(font);
        QPalette palette = ui.Text[2]->palette();
        palette.setColor(QPalette::Text, darkBlue);
        ui.Text[2]->setPalette(palette);
    }
    ui.Text[3] = makeText(panel, QString(), {240, 2400, 975, 285}, 9.75);
    // The signal box changes ten times a second; it paints all of itself, so the
    // frame and panel beneath need not repaint with it.
    ui.Text[3]->setAttribute(Qt::WA_OpaquePaintEvent);
    {
        QPalette palette = ui.Text[3]->palette();
        palette.setColor(QPalette::Base, frameLight);
        ui.Text[3]->setPalette(palette);
    }
    // The working frequency lives in a hidden box.
    ui.Text[5] = makeText(panel, QStringLiteral("Text5"), {3120, 360, 1215, 375}, 9.75);
    ui.Text[5]->hide();
    for (const TextSpec& item : textNames) {
        ui.Text[std::size_t(item.number)]->setAccessibleName(QString::fromLatin1(item.name));
        ui.Text[std::size_t(item.number)]->setAccessibleDescription(
            QString::fromLatin1(item.description));
    }
    meter->setReading([box = ui.Text[3]] { return box->text(); });

    std::vector<ChoiceButton*> agcButtons;
    for (const ButtonSpec& item : buttons) {
        const QString caption = QString::fromLatin1(item.caption);
        QWidget* parent = container(item.container);
        QPushButton* button = nullptr;
        switch (item.act) {
        case Act::Click:
            button = new QPushButton(caption, parent);
            break;
        case Act::Step:
            button = new TuningButton(caption, parent);
            break;
        case Act::Choose: {
            auto* choice = new ChoiceButton(caption, parent);
            if (item.chosenBy != 0) {
                Led* lamp = ui.LED[std::size_t(item.chosenBy)];
                choice->setChosenWhen([lamp] { return lamp->lit(); });
                QObject::connect(lamp, &Led::litChanged, choice,
                                 &ChoiceButton::chosenMayHaveChanged);
            } else {
                // The AGC readout shows "Slow" or "Fast" for "Slow AGC", "Fast AGC".
                const QString reading = caption.section(u' ', 0, 0);
                choice->setChosenWhen(
                    [readout = ui.Label[8], reading] { return readout->text() == reading; });
                agcButtons.push_back(choice);
            }
            button = choice;
            break;
        }
        }
        button->setGeometry(toPixels(item.rect));
        button->setAutoDefault(false);
        button->setAccessibleName(QString::fromLatin1(item.name));
        button->setAccessibleDescription(QString::fromLatin1(item.description));
        if (item.face == Face::Store)
            button->setToolTip(QString::fromLatin1(item.name));
        styleButton(button, item.face);
        ui.Command[std::size_t(item.number)] = button;
    }
    ui.Command[40]->setEnabled(false);
    // A click writes the AGC readout in its handler: once that has run, both buttons may
    // have changed.
    for (ChoiceButton* clicked : agcButtons)
        for (ChoiceButton* other : agcButtons)
            QObject::connect(clicked, &QPushButton::clicked, other,
                             &ChoiceButton::chosenMayHaveChanged, Qt::QueuedConnection);

    // The memory grid (placed by the window) fills the right-hand side; "Select" is
    // drawn over it.
    auto* select = new QPushButton(QStringLiteral("Select"), panel);
    select->setGeometry(toPixels({12840, 480, 735, 375}));
    select->setAutoDefault(false);
    select->setAccessibleName(QStringLiteral("Tune to the current memory"));
    select->setAccessibleDescription(
        QStringLiteral("Tunes to the frequency of the memory list's current row."));
    styleButton(select, Face::Select);
    ui.Command[23] = select;

    const auto name = [](QObject* object, const QString& prefix, std::size_t n) {
        if (object)
            object->setObjectName(prefix + QString::number(n));
    };
    for (std::size_t n = 0; n < ui.Command.size(); ++n)
        name(ui.Command[n], QStringLiteral("Command"), n);
    for (std::size_t n = 0; n < ui.HScroll.size(); ++n)
        name(ui.HScroll[n], QStringLiteral("HScroll"), n);
    for (std::size_t n = 0; n < ui.Text.size(); ++n)
        name(ui.Text[n], QStringLiteral("Text"), n);
    for (std::size_t n = 0; n < ui.Label.size(); ++n)
        name(ui.Label[n], QStringLiteral("Label"), n);
    for (std::size_t n = 0; n < ui.Frame.size(); ++n)
        name(ui.Frame[n], QStringLiteral("Frame"), n);
    for (std::size_t n = 0; n < ui.LED.size(); ++n)
        name(ui.LED[n], QStringLiteral("LED"), n);
}

QRect memoryGridGeometry()
{
    return toPixels({9840, 120, 4335, 8175});
}

void setTabOrder(const Controls& ui)
{
    std::vector<QWidget*> order = {ui.Text[2]};
    for (int n = 1; n <= 20; ++n)
        order.push_back(ui.Command[std::size_t(n)]);
    order.insert(order.end(), {ui.Text[3], ui.Command[21], ui.Command[22], ui.DBGrid1,
                               ui.HScroll[2], ui.HScroll[3], ui.HScroll[1], ui.Command[24],
                               ui.Command[25], ui.Command[26], ui.HScroll[4], ui.Command[23]});
    for (int n = 27; n <= 36; ++n)
        order.push_back(ui.Command[std::size_t(n)]);
    order.insert(order.end(), {ui.HScroll[5], ui.Text[1], ui.Text[4], ui.HScroll[6], ui.Command[37],
                               ui.Command[40], ui.HScroll[7], ui.Command[41]});
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

} // namespace rxdeck
