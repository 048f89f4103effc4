#pragma once
// The versions kept of one disk image, newest first, with their dates and the blocks each
// session of the card's writes changed. "Restore as Copy" writes the chosen version into
// a new file beside the image; "Restore in Place" brings the image itself back, after
// keeping it as it is as a version of its own, so that a restore can be undone too. Open
// while the model has a versionsImage(). The model lists and restores on its worker; the
// sheet says what is under way on the list and the buttons until the result is in.

#include "Sheet.h"
#include "library/DiskImage.h"

#include <optional>
#include <string>
#include <vector>

class QListWidget;

namespace vorn {

class A2Button;
class ThemedLabel;
class VersionsModel;

class VersionsSheet : public Sheet {
    Q_OBJECT
public:
    /// Shows and restores the versions of `versions`; `model` gives the look and the work.
    VersionsSheet(ShareModel& model, VersionsModel& versions, bool snapshotMode,
                  QWidget* parent = nullptr);

    QListWidget* list() const { return m_list; }
    A2Button* copyButton() const { return m_copy; }
    A2Button* inPlaceButton() const { return m_inPlace; }
    /// The outcome of the last restore.
    ThemedLabel* outcome() const { return m_outcome; }

protected:
    void closeByUser() override;

private:
    void follow();
    void reload();
    void showWork();
    void restyleList();
    std::optional<std::string> chosenId() const;
    void restoreAsCopy();
    void restoreInPlace();
    void tell(const QString& text, bool failed);

    VersionsModel& m_versions;
    std::optional<DiskImage> m_image;
    std::vector<std::string> m_ids;
    ThemedLabel* m_empty;
    QListWidget* m_list;
    A2Button* m_copy;
    A2Button* m_inPlace;
    ThemedLabel* m_outcome;
};

} // namespace vorn
