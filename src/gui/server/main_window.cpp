#include "gui/server/main_window.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <cmath>
#include <optional>

#include "gui/desktop/tray_icon.h"
#include "server/server_thread.h"

namespace corvane {
namespace {

// Frame positions of the window's design; the resize rules size everything else.
constexpr double kFrameLeft = 300;
constexpr double kFrameTop = 120;
constexpr double kListLeft = 240;
constexpr double kListTop = 360;
// The window's size when no placement was saved yet, or the saved one would hide the lists.
constexpr int kDefaultWidthPx = 760;
constexpr int kDefaultHeightPx = 540;
// A saved placement smaller than this leaves too little of the lists to see (a few rows of
// each), and one with less than kVisibleWidthPx x kVisibleHeightPx on any screen is as good
// as lost; either is left for the default.
constexpr int kSmallestWidthPx = 400;
constexpr int kSmallestHeightPx = 360;
constexpr int kVisibleWidthPx = 200;
constexpr int kVisibleHeightPx = 150;
// Rows the activity list keeps (the first and the newest after it): a busy server adds
// thousands a second, and the log file keeps them all.
constexpr int kDesktopActivityRows = 10000;
// How long the activity list waits for more rows before it scrolls to the newest.
constexpr int kScrollDelayMs = 50;
// The height a window manager's title bar and borders add to the window, about.
constexpr int kTitleBarAllowancePx = 24;
// Room above and below a list row's text.
constexpr int kRowPaddingPx = 4;

int Px(double twips) { return std::max(0, static_cast<int>(std::lround(twips / kTwipsPerPixel))); }
double Twips(int pixels) { return static_cast<double>(pixels) * kTwipsPerPixel; }

// The window the saved placement gives, when it shows the lists.
std::optional<QRect> UsablePlacement(const ServerSettings& settings) {
  const QRect placed(Px(SettingValue(settings.WindowLeft)), Px(SettingValue(settings.WindowTop)),
                     Px(settings.WindowWidth.value_or(0)), Px(SettingValue(settings.WindowHeight)));
  if (placed.width() < kSmallestWidthPx || placed.height() < kSmallestHeightPx) return std::nullopt;
  for (const QScreen* screen : QGuiApplication::screens()) {
    const QRect seen = screen->availableGeometry().intersected(placed);
    if (seen.width() >= kVisibleWidthPx && seen.height() >= kVisibleHeightPx) return placed;
  }
  return std::nullopt;
}

// A list of rows under column captions. A table view rather than a tree: a tree lays out
// every row again for each one added, which at thousands of activity rows a second cost
// the server most of its time.
QTableView* ReportList(const QString& name, QAbstractItemModel* model, QWidget* parent) {
  auto* view = new QTableView(parent);
  view->setObjectName(name);
  view->setModel(model);
  view->setShowGrid(false);
  view->setWordWrap(false);
  view->setCornerButtonEnabled(false);
  view->setTabKeyNavigation(false);
  view->setSelectionBehavior(QAbstractItemView::SelectRows);
  view->setSelectionMode(QAbstractItemView::SingleSelection);
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  QHeaderView* rows = view->verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(view->fontMetrics().height() + kRowPaddingPx);
  QHeaderView* columns = view->horizontalHeader();
  columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  columns->setHighlightSections(false);
  columns->setStretchLastSection(false);
  columns->setSectionsMovable(false);
  return view;
}

QAction* Separator(const QString& name, QMenu* menu) {
  QAction* separator = menu->addSeparator();
  separator->setObjectName(name);
  return separator;
}

}  // namespace

MainWindow::MainWindow(ServerThread& server, TrayIcon& tray, QWidget* parent)
    : QMainWindow(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                              Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint),
      server_(server),
      tray_(tray) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Corvane Database Server"));
  BuildMenus();
  BuildLists();

  auto* bar = new QStatusBar(this);
  bar->setObjectName(QStringLiteral("StatusBar1"));
  bar->setSizeGripEnabled(false);
  for (int i = 0; i < 3; ++i) {
    panels_[i] = new QLabel(bar);
    panels_[i]->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
    panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    bar->addWidget(panels_[i], i == 0 ? 2 : 1);
  }
  setStatusBar(bar);

  connect(&server_, &ServerThread::StatusChanged, this, &MainWindow::ShowStatusTexts);
  server_.ActivityRows().SetRowLimit(kDesktopActivityRows);
  // Rows come in batches, by the thousand under load: the list scrolls once they have.
  scrollTimer_.setSingleShot(true);
  scrollTimer_.setInterval(kScrollDelayMs);
  connect(&scrollTimer_, &QTimer::timeout, activityList_, &QTableView::scrollToBottom);
  connect(&server_.ActivityRows(), &QAbstractItemModel::rowsInserted, this, [this] {
    if (!scrollTimer_.isActive()) scrollTimer_.start();
  });
}

void MainWindow::BuildMenus() {
  QMenuBar* bar = menuBar();

  QAction* exit = bar->addAction(QStringLiteral("&Exit"));
  exit->setObjectName(QStringLiteral("mExit"));
  connect(exit, &QAction::triggered, this, &MainWindow::ExitRequested);

  QMenu* view = bar->addMenu(QStringLiteral("&View"));
  view->setObjectName(QStringLiteral("mView"));
  QAction* clear = view->addAction(QStringLiteral("Clear Activity"));
  clear->setObjectName(QStringLiteral("mClearActivity"));
  connect(clear, &QAction::triggered, this, &MainWindow::ClearActivity);
  Separator(QStringLiteral("Sep4"), view);
  QAction* refresh =
      view->addAction(QStringLiteral("Refresh...") + QString(10, QLatin1Char(' ')) + "F5");
  refresh->setObjectName(QStringLiteral("mRefresh"));
  connect(refresh, &QAction::triggered, this, &MainWindow::RefreshStatus);

  QAction* setup = bar->addAction(QStringLiteral("&Setup"));
  setup->setObjectName(QStringLiteral("mSetup"));
  connect(setup, &QAction::triggered, this, &MainWindow::SetupRequested);

  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("mHelp"));
  QAction* contents =
      help->addAction(QStringLiteral("Contents...") + QString(21, QLatin1Char(' ')) + "F1");
  contents->setObjectName(QStringLiteral("mCDBhelp"));
  connect(contents, &QAction::triggered, this, &MainWindow::HelpRequested);
  Separator(QStringLiteral("mSep2"), help);
  QAction* contact = help->addAction(QStringLiteral("Contact Quillon Software"));
  contact->setObjectName(QStringLiteral("mContact"));
  connect(contact, &QAction::triggered, this, &MainWindow::ContactRequested);
  Separator(QStringLiteral("Sep3"), help);
  QAction* about = help->addAction(QStringLiteral("About Corvane Database"));
  about->setObjectName(QStringLiteral("mAbout"));
  connect(about, &QAction::triggered, this, &MainWindow::AboutRequested);
}

void MainWindow::BuildLists() {
  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("centralWidget"));
  frame1_ = new QGroupBox(QStringLiteral(" Current Activity "), central);
  frame1_->setObjectName(QStringLiteral("Frame1"));
  activityList_ = ReportList(QStringLiteral("whList"), &server_.ActivityRows(), frame1_);
  frame2_ = new QGroupBox(QStringLiteral(" Current Users "), central);
  frame2_->setObjectName(QStringLiteral("Frame2"));
  usersList_ = ReportList(QStringLiteral("ListView1"), &server_.CurrentUsers(), frame2_);
  setCentralWidget(central);
}

void MainWindow::Load(const ServerSettings& settings) {
  loaded_ = false;
  if (!isMinimized() && !isMaximized()) {
    if (const std::optional<QRect> placed = UsablePlacement(settings)) {
      move(placed->topLeft());
      resize(placed->size());
    } else {
      resize(kDefaultWidthPx, kDefaultHeightPx);
      if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->geometry();
        move((area.width() - width()) / 2, (area.height() - height()) / 2);
      }
    }
  }
  loaded_ = true;
  ApplyLayout();
  // What the unload saves unless the window is moved or sized in the normal state.
  placement_ = GeometryInTwips();
  ShowStatusTexts();
}

void MainWindow::ClearActivity() { server_.ActivityRows().ClearActivity(); }

void MainWindow::RefreshStatus() { server_.RefreshStatus(); }

QString MainWindow::PanelText(int panel) const {
  if (panel < 1 || panel > 3) return {};
  return panels_[panel - 1]->text();
}

void MainWindow::ShowStatusTexts() {
  const StatusTexts& status = server_.Status();
  panels_[0]->setText(status.status);
  panels_[1]->setText(status.port);
  panels_[2]->setText(status.users);
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_F5:
      RefreshStatus();
      return;
    case Qt::Key_F1:
      Q_EMIT HelpRequested();
      return;
    default:
      QMainWindow::keyPressEvent(event);
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // "&Exit" is the way out: the title bar and Alt+F4 cannot end the server.
  if (closeAllowed_) {
    QMainWindow::closeEvent(event);
  } else {
    event->ignore();
  }
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) HandleResize();
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  HandleResize();
}

void MainWindow::moveEvent(QMoveEvent* event) {
  QMainWindow::moveEvent(event);
  if (loaded_) RecordPlacement();
}

void MainWindow::HandleResize() {
  if (isMinimized()) {
    tray_.Add();
    // Without a notification area the minimized window stays in the task bar; hidden it
    // could never be brought back.
    if (tray_.Available()) HideToTray();
    return;
  }
  if (!loaded_) return;
  ApplyLayout();
  tray_.Remove();
  RecordPlacement();
}

void MainWindow::HideToTray() {
  // Hiding from inside the state change confuses some window managers; hide once it is
  // done, unless the window came back meanwhile.
  QTimer::singleShot(0, this, [this] {
    if (isMinimized()) hide();
  });
}

void MainWindow::RestoreFromTray() {
  showNormal();
  raise();
  activateWindow();
}

void MainWindow::RecordPlacement() {
  if (windowState() != Qt::WindowNoState) return;
  placement_ = GeometryInTwips();
}

WindowPlacement MainWindow::GeometryInTwips() const {
  return {Twips(y()), Twips(x()), static_cast<int32_t>(Twips(width())), Twips(height())};
}

void MainWindow::ApplyLayout() {
  // The design's heights count the title bar. The window manager's frame is not known until
  // the window is shown (and offscreen never), so a fixed allowance stands for it: the
  // frames sit the same before and after the window manager frames the window.
  const double width = Twips(this->width());
  const double height = Twips(this->height() + kTitleBarAllowancePx);
  const double statusHeight = Twips(statusBar()->sizeHint().height());

  const double frame1Width = width - 600;
  const double frame1Height = height / 5 * 2;
  frame1_->setGeometry(Px(kFrameLeft), Px(kFrameTop), Px(frame1Width), Px(frame1Height));

  const double frame2Top = kFrameTop + frame1Height + 240;
  const double frame2Width = width - 600;
  const double frame2Height = height - frame2Top - statusHeight - 880;
  frame2_->setGeometry(Px(kFrameLeft), Px(frame2Top), Px(frame2Width), Px(frame2Height));

  const double listWidth = frame1Width - 480;
  activityList_->setGeometry(Px(kListLeft), Px(kListTop), Px(listWidth), Px(frame1Height - 600));
  const double usersWidth = frame2Width - 480;
  usersList_->setGeometry(Px(kListLeft), Px(kListTop), Px(usersWidth), Px(frame2Height - 600));

  const double w = listWidth / 14;
  const double activityColumns[] = {w * 2, w * 2, w * 3.8, w * 2, w * 0.9, w * 1.3, (w - 60) * 2};
  for (int column = 0; column < 7; ++column) {
    activityList_->horizontalHeader()->resizeSection(column, Px(activityColumns[column]));
  }
  const double l = usersWidth / 12;
  const double userColumns[] = {l, l * 2, l * 1.5, l * 3.5, l * 4 - 100};
  for (int column = 0; column < 5; ++column) {
    usersList_->horizontalHeader()->resizeSection(column, Px(userColumns[column]));
  }
}

}  // namespace corvane
