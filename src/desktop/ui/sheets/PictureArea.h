#pragma once
// The 400 x 200 area of a preview pane: a picture, or a message with a hint below it when
// there is nothing to show.

#include <QImage>
#include <QWidget>

namespace vorn {

class Look;
class ThemedLabel;

class PictureArea : public QWidget {
    Q_OBJECT
public:
    static constexpr int areaWidth = 400;
    static constexpr int areaHeight = 200;

    PictureArea(Look& look, QWidget* parent = nullptr);

    /// `fit`: scaled smoothly to fit the area; otherwise shown at its own logical size,
    /// each pixel a sharp block, as the card paints it.
    void showImage(const QImage& image, bool fit);
    /// A 12-pixel bold message, with an 11-pixel hint below it when given.
    void showMessage(const QString& message, const QString& hint = {});
    /// A picture that would not load: its message alone, in the 11-pixel text.
    void showFailure(const QString& message);

    /// The picture shown; null while a message is.
    const QImage& image() const { return m_image; }
    QString message() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRectF imageRect() const;

    Look& m_look;
    QImage m_image;
    bool m_fit = true;
    ThemedLabel* m_message;
    ThemedLabel* m_hint;
};

} // namespace vorn
