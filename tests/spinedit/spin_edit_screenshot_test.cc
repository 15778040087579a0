// Renders the main window's two editors in each state to PNG files under the
// build folder, with a sheet of all of them enlarged four times, for a person
// to look at.
#include "spinedit/program_spin_edits.h"
#include "spinedit/spin_button.h"

#include <QDir>
#include <QPainter>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace spinedit {
namespace {

struct Shot {
    QString name;
    QImage image;
};

// Released, then each half held down while enabled.
void shoot(TRxSpinEdit* editor, const QString& name, std::vector<Shot>& shots)
{
    shots.push_back({name + "-released", editor->grab().toImage()});
    auto* button = editor->findChild<TRxSpinButton*>();
    for (const auto& [half, pos] :
         {std::pair{"-top-pressed", QPoint(3, 3)}, std::pair{"-bottom-pressed", QPoint(14, 14)}}) {
        if (!button || !editor->isEnabled())
            return;
        QTest::mousePress(button, Qt::LeftButton, {}, pos);
        shots.push_back({name + half, editor->grab().toImage()});
        QTest::mouseRelease(button, Qt::LeftButton, {}, pos);
    }
}

QImage sheetOf(const std::vector<Shot>& shots)
{
    constexpr int kScale = 4;
    constexpr int kRow = 21 * kScale + 24;
    QImage sheet(73 * kScale + 16, kRow * static_cast<int>(shots.size()) + 8, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    for (int i = 0; i < static_cast<int>(shots.size()); ++i) {
        const Shot& shot = shots[static_cast<std::size_t>(i)];
        p.drawText(8, kRow * i + 20, shot.name);
        p.drawImage(QRect(QPoint(8, kRow * i + 24), shot.image.size() * kScale), shot.image);
    }
    return sheet;
}

TEST(SpinEditScreenshots, ProgramEditorsInEachState)
{
    const QDir dir(QStringLiteral(GRIDSHIFT_SCREENSHOT_DIR));
    ASSERT_TRUE(dir.mkpath(QStringLiteral(".")));
    QWidget window;
    QFont font = window.font();
    font.setPixelSize(11);
    window.setFont(font);
    std::vector<std::pair<TRxSpinEdit*, QString>> editors = {{createRxNew(&window), "RxNew"},
                                                             {createRXNewSize(&window), "RXNewSize"},
                                                             {createRxNew(&window), "RxNew-standard-arrows"},
                                                             {createRXNewSize(&window), "RXNewSize-right-to-left"}};
    editors[2].first->setButtonKind(TSpinButtonKind::bkStandard);
    editors[3].first->setLayoutDirection(Qt::RightToLeft);
    for (int i = 0; i < 4; ++i)
        editors[static_cast<std::size_t>(i)].first->move(10, 10 + 30 * i);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    std::vector<Shot> shots;
    for (auto& [editor, name] : editors) {
        shoot(editor, name + "-disabled", shots);
        editor->setEnabled(true);
        shoot(editor, name + "-enabled", shots);
    }
    for (const Shot& shot : shots)
        EXPECT_TRUE(shot.image.save(dir.filePath(shot.name + ".png"))) << shot.name.toStdString();
    EXPECT_TRUE(sheetOf(shots).save(dir.filePath(QStringLiteral("spin-editors-x4.png"))));
}

} // namespace
} // namespace spinedit
