#include "app/widgets/select_directory_dialog.h"

#include "progress/form_font.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTreeWidget>

#include <utility>

namespace app {

namespace {

constexpr int kClientWidth = 424;
constexpr int kClientHeight = 255;
constexpr int kFolderRole = Qt::UserRole;

QLabel* makeLabel(QWidget* parent, const QString& text, const QRect& geometry, QWidget* buddy)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    // Without a buddy a label shows its ampersand instead of underlining.
    label->setBuddy(buddy);
    return label;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& text, const QRect& geometry)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    return button;
}

// The path shortened the way a reader can still place it: the root, "...",
// then as many trailing folders as fit.
QString elidedPath(const QString& path, const QFontMetrics& metrics, int width)
{
    if (metrics.horizontalAdvance(path) <= width)
        return path;
    const QChar separator = path.contains(u'\\') ? u'\\' : u'/';
    const qsizetype rootLength = path.indexOf(separator) + 1;
    const QString root = path.left(rootLength);
    QStringList names = path.mid(rootLength).split(separator, Qt::SkipEmptyParts);
    const QString dots = QStringLiteral("...");
    while (names.size() > 1) {
        names.removeFirst();
        const QString candidate = root + dots + separator + names.join(separator);
        if (metrics.horizontalAdvance(candidate) <= width)
            return candidate;
    }
    return metrics.elidedText(root + dots + separator + names.value(0), Qt::ElideRight, width);
}

} // namespace

// The open folder's full path on one line, shortened when it does not fit;
// the whole path is in the tool tip.
class PathLabel : public QLabel {
public:
    using QLabel::QLabel;

    void setPath(const QString& path)
    {
        setToolTip(path);
        setText(elidedPath(path, fontMetrics(), contentsRect().width()));
    }
};

namespace {

// An indented folder list: the open folder's path, one level per folder, with
// its sub-folders one level further in. No branch lines.
class FolderTree : public QTreeWidget {
public:
    using QTreeWidget::QTreeWidget;

protected:
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}
};

} // namespace

SelectDirectoryDialog::SelectDirectoryDialog(FolderNavigator navigator, const QString& startFolder, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_navigator(std::move(navigator))
{
    setObjectName(QStringLiteral("SelectDirectoryDialog"));
    setWindowTitle(tr("Select Directory"));
    setWindowModality(Qt::ApplicationModal);
    setFont(progress::formFont());
    setFixedSize(kClientWidth, kClientHeight);

    m_dirList = new FolderTree(this);
    m_dirList->setObjectName(QStringLiteral("DirList"));
    m_dirList->setGeometry(8, 60, 200, 150);
    m_dirList->setHeaderHidden(true);
    m_dirList->setRootIsDecorated(false);
    m_dirList->setItemsExpandable(false);
    m_dirList->setExpandsOnDoubleClick(false);
    m_dirList->setIndentation(8);
    m_dirList->setIconSize(QSize(14, 12));
    m_dirList->setUniformRowHeights(true);

    makeLabel(this, tr("Directory &Name:"), QRect(8, 6, 200, 13), m_dirList);
    m_dirLabel = new PathLabel(this);
    m_dirLabel->setObjectName(QStringLiteral("DirLabel"));
    m_dirLabel->setGeometry(8, 24, 408, 13);
    m_dirLabel->setTextFormat(Qt::PlainText);
    makeLabel(this, tr("&Directories:"), QRect(8, 44, 200, 13), m_dirList);

    m_fileList = new QListWidget(this);
    m_fileList->setObjectName(QStringLiteral("FileList"));
    m_fileList->setGeometry(216, 60, 200, 104);
    // For information only: no focus, no selection, grey names.
    m_fileList->setFocusPolicy(Qt::NoFocus);
    m_fileList->setSelectionMode(QAbstractItemView::NoSelection);
    QPalette grey = m_fileList->palette();
    grey.setColor(QPalette::Text, grey.color(QPalette::Disabled, QPalette::Text));
    m_fileList->setPalette(grey);
    QLabel* filesLabel = makeLabel(this, tr("&Files: (*.*)"), QRect(216, 44, 200, 13), m_fileList);
    filesLabel->setEnabled(false);

    m_driveCombo = new QComboBox(this);
    m_driveCombo->setObjectName(QStringLiteral("DriveCombo"));
    m_driveCombo->setGeometry(216, 189, 200, 21);
    for (const Drive& drive : m_navigator.drives())
        m_driveCombo->addItem(drive.name);
    makeLabel(this, tr("D&rives:"), QRect(216, 172, 200, 13), m_driveCombo);

    // Offered only where the system has a dialog for connecting network
    // drives; this one has none.
    m_networkButton = makeButton(this, "NetworkButton", tr("Ne&twork..."), QRect(8, 222, 75, 25));
    m_networkButton->hide();
    m_okButton = makeButton(this, "OKButton", tr("OK"), QRect(260, 222, 75, 25));
    m_okButton->setDefault(true);
    m_cancelButton = makeButton(this, "CancelButton", tr("Cancel"), QRect(341, 222, 75, 25));

    setTabOrder(m_dirList, m_driveCombo);
    setTabOrder(m_driveCombo, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);

    connect(m_dirList, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item) { openFolder(item->data(0, kFolderRole).toString()); });
    connect(m_driveCombo, &QComboBox::activated, this, &SelectDirectoryDialog::openDrive);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    if (!m_navigator.open(startFolder) && !m_navigator.open(currentFolder()))
        m_navigator.open(QDir::rootPath());
    showFolder();
    m_dirList->setFocus();

    // The inside is centred, as in the other windows: move() would place the
    // frame's corner, putting the inside a title bar's height too low.
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen)
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->geometry()));
}

SelectDirectoryDialog::~SelectDirectoryDialog() = default;

void SelectDirectoryDialog::keyPressEvent(QKeyEvent* event)
{
    // Enter on a highlighted folder opens it, as a double click does; on the
    // open folder itself it is "OK".
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && m_dirList->hasFocus() && m_dirList->currentItem()) {
        const QString highlighted = m_dirList->currentItem()->data(0, kFolderRole).toString();
        if (highlighted != m_navigator.folder()) {
            openFolder(highlighted);
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void SelectDirectoryDialog::openFolder(const QString& folder)
{
    // A folder that went away or may not be entered leaves the dialog where
    // it was.
    if (!m_navigator.open(folder))
        QApplication::beep();
    showFolder();
}

void SelectDirectoryDialog::openDrive(int index)
{
    if (!m_navigator.openDrive(index))
        QApplication::beep();
    showFolder();
}

void SelectDirectoryDialog::showFolder()
{
    m_dirLabel->setPath(m_navigator.text());

    m_dirList->clear();
    const QIcon openIcon(QStringLiteral(":/pictures/open_folder.xpm"));
    const QIcon closedIcon(QStringLiteral(":/pictures/closed_folder.xpm"));
    QTreeWidgetItem* parent = nullptr;
    for (const FolderNavigator::Step& step : m_navigator.path()) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_dirList);
        item->setText(0, step.name);
        item->setIcon(0, openIcon);
        item->setData(0, kFolderRole, step.folder);
        parent = item;
    }
    const QString open = m_navigator.folder();
    for (const QString& name : m_navigator.subFolders()) {
        auto* item = new QTreeWidgetItem(parent);
        item->setText(0, name);
        item->setIcon(0, closedIcon);
        item->setData(0, kFolderRole, open.endsWith(u'/') ? open + name : open + u'/' + name);
    }
    m_dirList->expandAll();
    m_dirList->setCurrentItem(parent);
    m_dirList->scrollToItem(parent);

    m_fileList->clear();
    m_fileList->addItems(m_navigator.files());

    m_driveCombo->setCurrentIndex(m_navigator.driveIndex());
}

} // namespace app
