#pragma once

// The main window as its layout describes it: caption, texts, where each
// control goes and the order Tab visits them. Both front ends build the
// window from these.

#include <array>

namespace app::layout {

inline constexpr const char* kCaption = "Утилита изменения рекламной сетки.";

// Sizes are pixels at 96 dots per inch; other screens scale them.
inline constexpr int kDpi = 96;
inline constexpr int kClientWidth = 457;
inline constexpr int kClientHeight = 509;

struct Place {
    int left, top, width, height;
};

// Labels take the size of their text.
struct Label {
    const char* text;
    int left, top;
};

inline constexpr Place kPanel1{0, 0, 457, 185};
// Inside Panel1.
inline constexpr Place kMemo1{1, 1, 455, 183};
inline constexpr Label kLabel1{"Папка с базами", 4, 196};
inline constexpr Place kDEBase{4, 212, 453, 21};
inline constexpr Place kBtnLoad{112, 240, 193, 33};
inline constexpr Place kCBDays{3, 281, 110, 225};
inline constexpr Place kCBHour{116, 281, 137, 225};
inline constexpr Place kLbTimes{256, 281, 65, 225};
inline constexpr Label kLabel2{"Выделенная минута", 330, 284};
inline constexpr Place kEOldTime{330, 303, 69, 21};
inline constexpr Label kLabel3{"Перенести на минуту", 330, 330};
inline constexpr Place kRxNew{330, 347, 73, 21};
inline constexpr Label kLabel4{"Новый размер блока", 330, 376};
inline constexpr Place kRXNewSize{330, 392, 73, 21};
inline constexpr Place kBtnMove{331, 423, 120, 74};

inline constexpr const char* kDefaultFolder = "C:\\Kalvora";
inline constexpr const char* kBtnLoadCaption = "Загрузить рекламную сетку";
inline constexpr const char* kBtnMoveCaption = "Перенести данные";
// The one item the window adds to its menu (the system menu on Windows, the
// form's context menu in Qt), under a separator; Ctrl+Z chooses it too.
inline constexpr const char* kMenuUndoCaption = "Отменить последний перенос…";

// The help text, a line per row; the last is empty.
inline constexpr std::array<const char*, 7> kHelpLines = {
    "Ход выполнения:",
    "1. Укажите папку с базами Kalvora и нажмите \"загрузить\".",
    "2. Укажите необходимые часы и дни, которых будет касаться перемещение.",
    "3. Далее выделяете перемещаемую минуту и указываете новую минуту.",
    "4. Нажимаете \"перенести данные\".",
    "5. Переходите к п. 2",
    "",
};

inline constexpr int kDayRowHeight = 31;
inline constexpr int kHourRowHeight = 18;
inline constexpr int kHourColumns = 2;
inline constexpr int kMinuteRowHeight = 13;

// The controls that take the focus, in the order Tab visits them; labels
// take none and disabled controls are passed over.
enum class Control { DEBase, BtnLoad, Memo1, LbTimes, RxNew, EOldTime, RXNewSize, CBHour, CBDays, BtnMove };
inline constexpr std::array<Control, 10> kTabOrder = {
    Control::DEBase,   Control::BtnLoad,   Control::Memo1,  Control::LbTimes, Control::RxNew,
    Control::EOldTime, Control::RXNewSize, Control::CBHour, Control::CBDays,  Control::BtnMove,
};

} // namespace app::layout
