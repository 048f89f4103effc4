#include "Snapshot.h"

#include "ContentView.h"
#include "model/ShareModel.h"
#include "sheets/CategoriesSheet.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QImageWriter>
#include <QLayout>
#include <QPainter>
#include <cstdio>
#include <filesystem>
#include <memory>

namespace vorn::Snapshot {
namespace {

constexpr double kScale = 2.0;
// Beyond this many bytes a picture is refused rather than allocated.
constexpr double kMaxBytes = 1024.0 * 1024 * 1024;

void settle(int rounds) {
    for (int i = 0; i < rounds; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

void waitForScan(ShareModel& model) {
    QElapsedTimer waited;
    waited.start();
    while (model.working() && waited.elapsed() < scanWaitMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
}

std::unique_ptr<QWidget> makeView(ShareModel& model, const AppInfo& info,
                                  const SnapshotOptions& options) {
    if (options.categoriesSheet) {
        auto sheet = std::make_unique<CategoriesSheet>(model, model.library(), true);
        sheet->setFixedWidth(600);
        sheet->layout()->activate();
        const int natural =
            sheet->hasHeightForWidth() ? sheet->heightForWidth(600) : sheet->sizeHint().height();
        sheet->resize(600, natural);
        return sheet;
    }
    // Sizes that are not a picture's (none, negative, beyond any screen) are refused.
    if (!(options.width >= 1 && options.height >= 1 && options.width * options.height < 1e9)) {
        return nullptr;
    }
    auto view = std::make_unique<ContentView>(model, info, true);
    // The picture has the size asked for, even below the window's smallest size.
    view->layout()->setSizeConstraint(QLayout::SetNoConstraint);
    view->resize(int(std::lround(options.width)), int(std::lround(options.height)));
    return view;
}

} // namespace

QImage render(ShareModel& model, const AppInfo& info, const SnapshotOptions& options) {
    std::unique_ptr<QWidget> view = makeView(model, info, options);
    const QSize size = view ? view->size() : QSize();
    if (double(size.width()) * size.height() * kScale * kScale * 4 > kMaxBytes || size.isEmpty()) {
        return {};
    }
    view->setAttribute(Qt::WA_DontShowOnScreen);
    view->show();
    // Layouts, the table's column widths and its rows settle over a few turns of the loop.
    settle(5);
    QImage image(size * kScale, QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    image.setDevicePixelRatio(kScale);
    image.fill(model.theme().background);
    view->render(&image);
    return image;
}

int run(ShareModel& model, const AppInfo& info, const SnapshotOptions& options) {
    if (options.folder) {
        model.openFolder(*options.folder);
    }
    if (options.theme) {
        model.setUITheme(*options.theme);
    }
    waitForScan(model);
    const QImage image = render(model, info, options);
    QImageWriter writer(QString::fromStdString(options.out), "png");
    if (image.isNull() || !writer.write(image)) {
        std::puts("snapshot failed");
        return 1;
    }
    std::error_code ignored;
    const std::filesystem::path written = std::filesystem::absolute(options.out, ignored);
    std::printf("snapshot written: %s\n", written.c_str());
    return 0;
}

} // namespace vorn::Snapshot
