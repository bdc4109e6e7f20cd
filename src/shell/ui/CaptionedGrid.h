#pragma once

#include <QLabel>
#include <QTableView>

namespace keldara::shell {

// A data grid with a caption bar above its column headers, as a bound data grid shows the
// name of what it is bound to. The bar is hidden while the caption is empty.
class CaptionedGrid : public QTableView {
    Q_OBJECT
  public:
    explicit CaptionedGrid(QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    QString caption() const { return captionBar_->text(); }
    QLabel* captionBar() const { return captionBar_; }

  protected:
    void updateGeometries() override;
    bool event(QEvent* event) override;

  private:
    int captionHeight() const;
    void placeScrollBarBelowCaption();
    QLabel* captionBar_;
};

}  // namespace keldara::shell
