// Images over QIcon: resource files from the program's share/kavelin folder, each with its renders
// at other sizes beside it, and system symbols. Supported symbol: "internaldrive", Kavelin's own
// drive picture (else the icon theme's "drive-harddisk", else the widget style's hard-disk icon).
// Not supported: any other symbol name.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QImageReader>
#include <QStyle>

#include "platform/linux/posix_io.h"
#include "qt_services.h"

namespace kavelin::platform {

namespace {

constexpr const char* driveSymbol = "internaldrive";
constexpr const char* driveThemeIcon = "drive-harddisk";
constexpr const char* pictureResource = "MenuIcon";
constexpr const char* pictureExtension = "png";

// The side of a render's name, "MenuIcon-22.png" for "MenuIcon.png"; 0 for any other file.
int renderSide(const QString& fileName, const QString& stem, const QString& suffix) {
    const QString prefix = stem + QLatin1Char('-'), ending = QLatin1Char('.') + suffix;
    if (!fileName.startsWith(prefix) || !fileName.endsWith(ending))
        return 0;
    const QString digits =
        fileName.mid(prefix.size(), fileName.size() - prefix.size() - ending.size());
    bool number = false;
    const int side = digits.toInt(&number);
    return number && digits.size() <= 4 && side > 0 ? side : 0;
}

// A picture file and its renders at other sizes, so that Qt draws each size from the nearest
// render instead of scaling one picture (blurred or jagged); a null icon when the picture itself
// does not read. NOTE: each is loaded once and kept for the life of the process: every menu
// opening would otherwise read and decode the files again for each volume row, forty times the
// cost of the rest of the rendering. Never freed, so that no pixmap outlives the application.
QIcon pictureWithRenders(const QString& path) {
    static auto* loaded = new QHash<QString, QIcon>;
    if (auto known = loaded->constFind(path); known != loaded->constEnd())
        return *known;
    if (!QImageReader(path).canRead())
        return {};
    QIcon icon(path);
    const QFileInfo picture(path);
    const QString stem = picture.completeBaseName(), suffix = picture.suffix();
    for (const QFileInfo& entry : picture.dir().entryInfoList(QDir::Files)) {
        if (const int side = renderSide(entry.fileName(), stem, suffix))
            icon.addFile(entry.filePath(), QSize(side, side));
    }
    return *loaded->insert(path, icon);
}

} // namespace

QtImages::QtImages(std::vector<std::filesystem::path> resourceFolders)
    : resourceFolders(std::move(resourceFolders)) {}

QtImages::QtImages() {
    auto directory = programPath().parent_path();
    if (!directory.empty())
        resourceFolders = {directory / "share" / "kavelin",
                           directory.parent_path() / "share" / "kavelin"};
}

std::optional<std::string> QtImages::pathForResource(const std::string& name,
                                                     const std::string& extension) {
    for (const auto& folder : resourceFolders) {
        auto path = folder / (name + "." + extension);
        std::error_code error;
        if (std::filesystem::is_regular_file(path, error))
            return path.string();
    }
    return std::nullopt;
}

std::optional<Image> QtImages::imageWithContentsOfFile(const std::string& path) {
    QImageReader reader(QFile::decodeName(path.c_str()));
    if (reader.read().isNull())
        return std::nullopt;
    return Image{Image::Kind::file, path, 0, 0, std::nullopt};
}

std::optional<Image> QtImages::systemSymbol(const std::string& name,
                                            const std::optional<std::string>& description) {
    if (symbolIcon(name).isNull())
        return std::nullopt;
    return Image{Image::Kind::symbol, name, 0, 0, description};
}

QIcon QtImages::programIcon() {
    if (auto path = pathForResource(pictureResource, pictureExtension)) {
        QIcon icon = pictureWithRenders(QFile::decodeName(path->c_str()));
        if (!icon.isNull())
            return icon;
    }
    if (QIcon::hasThemeIcon(driveThemeIcon))
        return QIcon::fromTheme(driveThemeIcon);
    return QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon);
}

QIcon QtImages::symbolIcon(const std::string& name) {
    return name == driveSymbol ? programIcon() : QIcon();
}

QIcon QtImages::icon(const Image& image) {
    if (image.kind == Image::Kind::symbol)
        return symbolIcon(image.source);
    return pictureWithRenders(QFile::decodeName(image.source.c_str()));
}

} // namespace kavelin::platform
