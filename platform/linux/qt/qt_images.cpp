// Images over QIcon: resource files from the program's share/kavelin folder, and system symbols
// from the icon theme. Supported symbol: "internaldrive" (the theme's "drive-harddisk", else the
// widget style's hard-disk icon). Not supported: any other symbol name.
#include <QApplication>
#include <QFile>
#include <QImageReader>
#include <QStyle>

#include "platform/linux/posix_io.h"
#include "qt_services.h"

namespace kavelin::platform {

namespace {

constexpr const char* driveSymbol = "internaldrive";
constexpr const char* driveThemeIcon = "drive-harddisk";

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

QIcon QtImages::symbolIcon(const std::string& name) {
    if (name != driveSymbol)
        return {};
    if (QIcon::hasThemeIcon(driveThemeIcon))
        return QIcon::fromTheme(driveThemeIcon);
    return QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon);
}

QIcon QtImages::icon(const Image& image) {
    if (image.kind == Image::Kind::symbol)
        return symbolIcon(image.source);
    QPixmap pixmap(QFile::decodeName(image.source.c_str()));
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

} // namespace kavelin::platform
