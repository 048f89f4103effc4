#pragma once
// The strip along the window's bottom: a light that is lit while sharing, then sharing
// or stopped, requests, bytes served, tracks and whether the share is writable; on the
// right the share's newest log line, with the recent ones in its tooltip.

#include <QWidget>

namespace vorn {

class ShareModel;

class StatusStrip : public QWidget {
    Q_OBJECT
public:
    explicit StatusStrip(ShareModel& model, QWidget* parent = nullptr);

    /// The texts after the light, in order.
    QStringList parts() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    ShareModel& m_model;
};

} // namespace vorn
