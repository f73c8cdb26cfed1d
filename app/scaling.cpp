#include "app/scaling.h"

#include <QEvent>
#include <QFont>
#include <QRegularExpression>
#include <QVariant>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "app/widgets.h"

namespace velquor {
namespace {

constexpr const char* kDesignFont = "designFont";
constexpr const char* kDesignFontPixels = "designFontPixels";
constexpr const char* kDesignStyle = "designStyle";

// The controls of the layout: every widget placed by twips.
QList<QWidget*> placedControls(QWidget* area) {
  QList<QWidget*> controls;
  for (QWidget* child : area->findChildren<QWidget*>()) {
    if (child->property("twips").isValid()) controls.append(child);
  }
  return controls;
}

double designPixelSize(const QFont& font) {
  // The program's design sizes are points at 96 dpi.
  return font.pixelSize() > 0 ? font.pixelSize() : font.pointSizeF() * 96.0 / 72.0;
}

// Pixel lengths in a style sheet ("width: 11px"), times the factor.
QString scaledStyle(const QString& style, double factor) {
  static const QRegularExpression length(QStringLiteral("(\\d+)px"));
  QString result;
  qsizetype at = 0;
  for (auto it = length.globalMatch(style); it.hasNext();) {
    const auto match = it.next();
    result += style.mid(at, match.capturedStart() - at);
    result += QString::number(std::lround(match.captured(1).toInt() * factor)) + QStringLiteral("px");
    at = match.capturedEnd();
  }
  return result + style.mid(at);
}

}  // namespace

double fitFactor(QSize area, QSize design) {
  if (design.isEmpty()) return 1.0;
  return std::min(static_cast<double>(area.width()) / design.width(),
                  static_cast<double>(area.height()) / design.height());
}

double zoomStep(double factor, bool up, double low, double high) {
  // From an odd factor (a window resized by hand) the next step is the next quarter.
  const double quarters = factor * 4.0;
  const double next = up ? std::floor(quarters + 1e-6) + 1.0 : std::ceil(quarters - 1e-6) - 1.0;
  return std::clamp(next / 4.0, low, std::max(low, high));
}

LayoutScaler::LayoutScaler(QWidget* area, QSize designTwips, std::function<void(double)> afterScale)
    : QObject(area), area_(area), designTwips_(designTwips), afterScale_(std::move(afterScale)) {
  area_->installEventFilter(this);
  styleTimer_.setSingleShot(true);
  styleTimer_.setInterval(100);
  connect(&styleTimer_, &QTimer::timeout, this, &LayoutScaler::scaleStyles);
}

QSize LayoutScaler::designPixels(double factor) const {
  return {static_cast<int>(std::lround(designTwips_.width() * factor / kTwipsPerPixel)),
          static_cast<int>(std::lround(designTwips_.height() * factor / kTwipsPerPixel))};
}

void LayoutScaler::fit() {
  const QSize size = area_->size();
  const double factor = std::max(0.1, fitFactor(size, designPixels(1.0)));
  const QSize used = designPixels(factor);
  apply(factor, QPoint((size.width() - used.width()) / 2, (size.height() - used.height()) / 2));
}

bool LayoutScaler::eventFilter(QObject* watched, QEvent* event) {
  if (watched == area_ && event->type() == QEvent::Resize) fit();
  return QObject::eventFilter(watched, event);
}

void LayoutScaler::apply(double factor, QPoint offset) {
  factor_ = factor;
  area_->setProperty(kLayoutScaleProperty, factor);
  area_->setProperty(kLayoutOffsetProperty, offset);
  area_->setUpdatesEnabled(false);
  if (factor != fontFactor_) scaleFonts(factor);
  for (QWidget* control : placedControls(area_))
    control->setGeometry(twipsToPixelRect(control, control->property("twips").toRect()));
  if (afterScale_) afterScale_(factor);
  area_->setUpdatesEnabled(true);
}

void LayoutScaler::scaleFonts(double factor) {
  fontFactor_ = factor;
  for (QWidget* control : placedControls(area_)) {
    // The design values are taken the first time, before anything is scaled.
    if (!control->property(kDesignFont).isValid()) {
      control->setProperty(kDesignFont, control->font());
      control->setProperty(kDesignFontPixels, designPixelSize(control->font()));
      control->setProperty(kDesignStyle, control->styleSheet());
    }
    QFont font = control->property(kDesignFont).value<QFont>();
    const double pixels = control->property(kDesignFontPixels).toDouble() * factor;
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixels))));
    control->setFont(font);
    // Parts of a control (the text line of an editable drop-down) keep a font of their own.
    for (QWidget* part : control->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (!part->property("twips").isValid()) part->setFont(font);
    }
  }
  // Style sheets are slow to apply (each one polishes its control afresh): they follow once
  // the size has settled, not at every step of a drag.
  styleTimer_.start();
}

void LayoutScaler::scaleStyles() {
  if (factor_ == styleFactor_) return;
  styleFactor_ = factor_;
  area_->setUpdatesEnabled(false);
  for (QWidget* control : placedControls(area_)) {
    const QString style = control->property(kDesignStyle).toString();
    if (!style.isEmpty()) control->setStyleSheet(scaledStyle(style, factor_));
  }
  area_->setUpdatesEnabled(true);
}

}  // namespace velquor
