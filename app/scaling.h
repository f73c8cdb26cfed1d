// Scales a window's fixed layout by one factor: every control's place and size from its
// design twips, every font from its design size. The layout follows the size of the area
// that holds it, keeping the design's proportions, centred with even margins.
#pragma once

#include <QFont>
#include <QObject>
#include <QPoint>
#include <QSize>
#include <QTimer>
#include <functional>

class QWidget;

namespace velquor {

// The largest factor at which a layout of `design` pixels fits into `area`.
double fitFactor(QSize area, QSize design);
// The next zoom step up or down from `factor` (steps of a quarter), kept within [low, high].
double zoomStep(double factor, bool up, double low, double high);

class LayoutScaler : public QObject {
 public:
  // `area` holds the controls, designed at `designTwips`; `afterScale` runs after every
  // relayout for what the controls cannot take from their twips (list grids, icons).
  LayoutScaler(QWidget* area, QSize designTwips, std::function<void(double)> afterScale);

  double factor() const { return factor_; }
  QSize designPixels(double factor) const;
  // Lays the controls out for the area's present size; the style sheets follow when the
  // size has settled.
  void fit();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void apply(double factor, QPoint offset);
  void scaleFonts(double factor);
  void scaleStyles();

  QWidget* area_;
  QSize designTwips_;
  std::function<void(double)> afterScale_;
  double factor_ = 1.0;
  double fontFactor_ = 0.0;   // the factor the fonts were last set for
  double styleFactor_ = 1.0;  // the factor the style sheets were last set for
  QTimer styleTimer_;
};

}  // namespace velquor
