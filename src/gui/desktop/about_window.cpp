#include "gui/desktop/about_window.h"

#include <QEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "activity/host_identity.h"
#include "gui/config/window_order.h"

namespace corvane {
namespace {

// Room the title bar takes beside the title: the icon and the close button.
constexpr int kTitleBarExtraPx = 120;

QLabel* NamedLabel(const QString& name, const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  return label;
}

}  // namespace

AboutWindow::AboutWindow(const QString& computerName, UrlOpener open, QWidget* parent)
    : QDialog(parent), open_(std::move(open)) {
  setObjectName(QStringLiteral("frmAbout"));
  setWindowTitle(QStringLiteral("About Corvane Database"));
  setAttribute(Qt::WA_DeleteOnClose);
  UseFixedSizeFrame(this);
  if (parent) setWindowIcon(parent->windowIcon());

  auto* layout = new QVBoxLayout(this);
  auto* product = NamedLabel(QStringLiteral("Label1"), QStringLiteral("Corvane Database"), this);
  QFont big = product->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  product->setFont(big);
  layout->addWidget(product);
  layout->addWidget(
      NamedLabel(QStringLiteral("Label2"), QStringLiteral("Version " CORVANE_VERSION), this));
  layout->addWidget(NamedLabel(QStringLiteral("Label3"), QStringLiteral("Quillon Software"), this));

  auto* link = NamedLabel(QStringLiteral("lblWeb"), QString(), this);
  const QString address = QString::fromLatin1(kVendorAddress);
  link->setText(QStringLiteral("<a href=\"%1\">%1</a>").arg(address.toHtmlEscaped()));
  link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  connect(link, &QLabel::linkActivated, this, [this] { OpenVendorPage(open_); });
  layout->addWidget(link);

  auto* running = new QHBoxLayout;
  running->addWidget(NamedLabel(QStringLiteral("Label4"), QStringLiteral("Running on: "), this));
  running->addWidget(NamedLabel(QStringLiteral("lblComputer"), computerName, this), 1);
  layout->addLayout(running);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName(QStringLiteral("Command1"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] {
    close();
    Q_EMIT OkPressed();
  });
  layout->addWidget(ok, 0, Qt::AlignRight);
  // A box of fixed size, wide enough for the whole title, which window managers cut short
  // otherwise.
  const QSize hint = sizeHint();
  setFixedSize(
      std::max(hint.width(), fontMetrics().horizontalAdvance(windowTitle()) + kTitleBarExtraPx),
      hint.height());
}

// The name the activity list gives the computer.
QString AboutWindow::ComputerName() { return LocalHostIdentity().host_name; }

bool AboutWindow::event(QEvent* event) {
  if (event->type() == QEvent::WindowDeactivate && isVisible()) close();
  return QDialog::event(event);
}

void AboutWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (const QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
  }
}

}  // namespace corvane
