#pragma once
// The preview of one shared picture: the original image beside the 320 x 200 Super Hi-Res
// screen the card will show, decoded from the converted file, so that the user can judge
// the conversion. Open while the model has a previewPic(); it follows the picture the
// model names.

#include "Sheet.h"
#include "pictures/StillPic.h"

#include <optional>

namespace vorn {

class PictureArea;
class ShareModel;
class ThemedLabel;

class PicturePreviewSheet : public Sheet {
    Q_OBJECT
public:
    PicturePreviewSheet(ShareModel& model, bool snapshotMode, QWidget* parent = nullptr);

    PictureArea* originalArea() const { return m_original; }
    PictureArea* shrArea() const { return m_shr; }

protected:
    void closeByUser() override;

private:
    QWidget* pane(const QString& title, ThemedLabel* caption, PictureArea* area);
    void follow();
    void showPicture(const StillPic& picture);
    void showOriginal(const StillPic& picture);
    void showShr(const StillPic& picture);

    std::optional<StillPic> m_shown;
    ThemedLabel* m_originalCaption;
    PictureArea* m_original;
    PictureArea* m_shr;
};

} // namespace vorn
