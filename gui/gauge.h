// A gauge that shows Progress within MinValue..MaxValue as a horizontal bar
// or as a needle on a half dial, in place of the form library's sample gauge.
#pragma once

#include <QColor>
#include <QWidget>

class QPainter;

namespace gui {

class Gauge : public QWidget {
    Q_OBJECT
    Q_PROPERTY(Kind kind READ kind WRITE setKind)
    Q_PROPERTY(int minValue READ minValue WRITE setMinValue)
    Q_PROPERTY(int maxValue READ maxValue WRITE setMaxValue)
    Q_PROPERTY(int progress READ progress WRITE setProgress)
    Q_PROPERTY(QColor foreColor READ foreColor WRITE setForeColor)
    Q_PROPERTY(QColor backColor READ backColor WRITE setBackColor)
    Q_PROPERTY(bool showText READ showText WRITE setShowText)
    Q_PROPERTY(BorderStyle borderStyle READ borderStyle WRITE setBorderStyle)
public:
    enum Kind { HorizontalBar, Needle };
    Q_ENUM(Kind)
    enum BorderStyle { BorderNone, BorderSingle };
    Q_ENUM(BorderStyle)

    explicit Gauge(QWidget* owner = nullptr);

    Kind kind() const { return kind_; }
    void setKind(Kind kind);
    int minValue() const { return min_; }
    // Raises MaxValue when needed; Progress is held within the new range.
    void setMinValue(int value);
    int maxValue() const { return max_; }
    // Lowers MinValue when needed; Progress is held within the new range.
    void setMaxValue(int value);
    int progress() const { return progress_; }
    // A value outside MinValue..MaxValue is held at the nearer bound.
    void setProgress(int value);
    QColor foreColor() const { return fore_; }
    void setForeColor(const QColor& color);
    QColor backColor() const { return back_; }
    void setBackColor(const QColor& color);
    bool showText() const { return showText_; }
    void setShowText(bool show);
    BorderStyle borderStyle() const { return border_; }
    void setBorderStyle(BorderStyle style);

    // Whole percent of the range that Progress has covered, 0..100.
    int percentDone() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void paintBar(QPainter& painter, const QRect& area);
    void paintNeedle(QPainter& painter, const QRect& area);

    Kind kind_ = HorizontalBar;
    int min_ = 0;
    int max_ = 100;
    int progress_ = 0;
    QColor fore_ = Qt::black;
    QColor back_ = Qt::white;
    bool showText_ = true;
    BorderStyle border_ = BorderSingle;
};

} // namespace gui
