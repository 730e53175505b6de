#include "ReportGraphics_p.h"

#include "PdfWriter.h"

#include <QBuffer>
#include <QDir>
#include <QHash>
#include <QImageReader>
#include <QPainter>
#include <QRegularExpression>
#include <QSvgRenderer>

#include <atomic>
#include <cmath>
#include <mutex>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vl
{

namespace
{

QRectF containedRect(const QRectF& frame, QSizeF size)
{
    size.scale(frame.size(), Qt::KeepAspectRatio);
    return QRectF(
        frame.center().x() - size.width() / 2, frame.center().y() - size.height() / 2, size.width(), size.height());
}

// Cover draws the whole picture, larger than the frame, and lets the item's clip cut it: a cropped copy
// would be a new image on every page and in every PDF.
QRectF coveringRect(const QRectF& frame, QSizeF size)
{
    size.scale(frame.size(), Qt::KeepAspectRatioByExpanding);
    return QRectF(
        frame.center().x() - size.width() / 2, frame.center().y() - size.height() / 2, size.width(), size.height());
}

// `naturalMm`: the picture's own size, for fit none.
QRectF targetRect(ImageFit fit, const QRectF& frame, QSizeF naturalMm, double pixelsPerMm)
{
    switch (fit) {
    case ImageFit::Contain:
        return containedRect(frame, naturalMm);
    case ImageFit::Cover:
        return coveringRect(frame, naturalMm);
    case ImageFit::Stretch:
        return frame;
    case ImageFit::None:
        break;
    }
    return QRectF(frame.topLeft(), naturalMm * pixelsPerMm);
}

class RasterGraphic final : public PageGraphic
{
public:
    RasterGraphic(QImage image, QSizeF naturalMm, ImageFit fit)
        : m_image(std::move(image))
        , m_naturalMm(naturalMm)
        , m_fit(fit)
    {
    }
    Kind kind() const override { return Kind::Image; }
    void paint(QPainter& painter, const QRectF& frame, double pixelsPerMm, double) const override
    {
        painter.save();
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        // Always the whole image: the painter's PDF engine stores one object per image (by its cache key).
        painter.drawImage(targetRect(m_fit, frame, m_naturalMm, pixelsPerMm), m_image);
        painter.restore();
    }

private:
    QImage m_image;
    QSizeF m_naturalMm;
    ImageFit m_fit;
};

// One parsed SVG, shared by the graphics of every fit it is drawn with.
struct SvgSource {
    std::mutex mutex; // the renderer keeps state while it draws; pages may be painted from more than one thread
    QSvgRenderer renderer;
    // Names its drawing in a PDF; an address could name a later source after this one is freed.
    const quint64 serial = nextSerial();

    static quint64 nextSerial()
    {
        static std::atomic<quint64> last { 0 };
        return ++last;
    }
};

class SvgGraphic final : public PageGraphic
{
public:
    SvgGraphic(std::shared_ptr<SvgSource> source, QSizeF naturalMm, ImageFit fit)
        : m_source(std::move(source))
        , m_naturalMm(naturalMm)
        , m_fit(fit)
    {
    }
    Kind kind() const override { return Kind::Image; }
    void paint(QPainter& painter, const QRectF& frame, double pixelsPerMm, double) const override
    {
        const QRectF target = targetRect(m_fit, frame, m_naturalMm, pixelsPerMm);
        std::lock_guard lock(m_source->mutex);
        // In our PDF the drawing is stored once and each page refers to it.
        QSvgRenderer& renderer = m_source->renderer;
        const auto draw = [&renderer](QPainter& into, const QRectF& area) { renderer.render(&into, area); };
        if (!PdfWriter::drawReusable(painter, m_source->serial, target, draw))
            renderer.render(&painter, target);
    }

private:
    std::shared_ptr<SvgSource> m_source;
    QSizeF m_naturalMm;
    ImageFit m_fit;
};

constexpr qint64 MaxPictureBytes = 64LL << 20;
constexpr qint64 MaxSvgBytes = 8LL << 20;
constexpr qint64 MaxPicturePixels = 50'000'000;
constexpr qint64 MaxCachedBytes = 512LL << 20;
constexpr qsizetype MaxCachedPictures = 4096;
constexpr double MillimetresPerCssPixel = 25.4 / 96;

// A source read once; the graphic of each fit shares its pixels (one QImage, so one image object in a PDF).
struct Picture {
    QImage image;
    std::shared_ptr<SvgSource> svg;
    QSizeF naturalMm;
    QString problem; // neither image nor svg: why
    qint64 bytes = 0; // decoded size, for the cache's bound
    std::shared_ptr<const PageGraphic> byFit[4];

    bool readable() const { return svg || !image.isNull(); }
    std::shared_ptr<const PageGraphic> graphic(ImageFit fit)
    {
        std::shared_ptr<const PageGraphic>& graphic = byFit[int(fit)];
        if (!graphic && svg)
            graphic = std::make_shared<const SvgGraphic>(svg, naturalMm, fit);
        else if (!graphic)
            graphic = std::make_shared<const RasterGraphic>(image, naturalMm, fit);
        return graphic;
    }
};

// Reads a regular file only: opening without blocking and checking the opened file's type means a
// FIFO or a device named in a template neither stalls the layout nor is read.
bool readRegularFile(const QString& path, QByteArray& bytes, QString& problem)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    struct stat status {
    };
    bool ok = false;
    if (::fstat(fd, &status) != 0) {
        problem = QString::fromLocal8Bit(strerror(errno));
    } else if (!S_ISREG(status.st_mode)) {
        problem = QStringLiteral("it is not a regular file");
    } else if (status.st_size > MaxPictureBytes) {
        problem = QStringLiteral("it has more than %1 bytes").arg(MaxPictureBytes);
    } else {
        QFile file;
        if (file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
            bytes = file.read(MaxPictureBytes + 1);
            ok = bytes.size() <= MaxPictureBytes && file.error() == QFileDevice::NoError;
            problem = ok ? QString() : QStringLiteral("it cannot be read whole");
        } else {
            problem = file.errorString();
        }
    }
    ::close(fd);
    return ok;
}

// data:[type][;base64],payload; the stated type is not trusted, the bytes say what they are.
bool decodeDataUri(const QString& uri, QByteArray& bytes, QString& problem)
{
    const qsizetype comma = uri.indexOf(u',');
    if (comma < 0) {
        problem = QStringLiteral("the data: URI has no comma before its data");
        return false;
    }
    const QString header = uri.mid(5, comma - 5).trimmed();
    const QByteArray payload = uri.mid(comma + 1).toLatin1();
    if (payload.size() > MaxPictureBytes * 4 / 3 + 4) {
        problem = QStringLiteral("it has more than %1 bytes").arg(MaxPictureBytes);
        return false;
    }
    if (header.endsWith(QLatin1String(";base64"), Qt::CaseInsensitive)) {
        auto decoded = QByteArray::fromBase64Encoding(payload, QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) {
            problem = QStringLiteral("its base64 data is not valid");
            return false;
        }
        bytes = std::move(*decoded);
    } else {
        bytes = QByteArray::fromPercentEncoding(payload);
    }
    return true;
}

bool looksLikeSvg(const QByteArray& bytes)
{
    const QByteArray head = bytes.left(4096);
    qsizetype start = head.startsWith("\xEF\xBB\xBF") ? 3 : 0;
    while (start < head.size() && std::isspace(static_cast<unsigned char>(head[start])))
        ++start;
    return head.at(start) == '<' && head.contains("<svg");
}

// The resolution a picture states itself, so fit none can print it at its physical size; Qt gives
// every image a resolution, so whether the file had one is read from its header.
bool statesResolution(const QByteArray& bytes, const QByteArray& format)
{
    if (format == "png") {
        const qsizetype phys = bytes.indexOf("pHYs");
        const qsizetype data = bytes.indexOf("IDAT");
        return phys > 0 && (data < 0 || phys < data) && phys + 12 < bytes.size() && bytes.at(phys + 12) == 1;
    }
    if (format == "jpeg")
        return bytes.size() > 13 && bytes.mid(6, 5) == QByteArray("JFIF\0", 5) && bytes.at(13) != 0;
    return format == "bmp" && bytes.size() > 46 && (bytes.at(38) | bytes.at(39) | bytes.at(40) | bytes.at(41)) != 0;
}

Picture decodeSvg(const QByteArray& bytes)
{
    Picture picture;
    if (bytes.size() > MaxSvgBytes) {
        picture.problem = QStringLiteral("the SVG has more than %1 bytes").arg(MaxSvgBytes);
        return picture;
    }
    // QtSvg would read a file that an <image> names, which could be a device or a FIFO: only links
    // within the document and data: URIs are let through.
    static const QRegularExpression link(QStringLiteral(R"(href\s*=\s*["']\s*([^"'\s]*))"));
    for (auto match = link.globalMatch(QString::fromUtf8(bytes)); match.hasNext();) {
        const QString target = match.next().captured(1);
        if (!target.startsWith(u'#') && !target.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
            picture.problem = QStringLiteral("the SVG refers to \"%1\" outside it").arg(target.left(60));
            return picture;
        }
    }
    auto svg = std::make_shared<SvgSource>();
    QSvgRenderer* renderer = &svg->renderer;
    if (!renderer->load(bytes) || !renderer->isValid()) {
        picture.problem = QStringLiteral("it is no valid SVG");
        return picture;
    }
    const QRectF viewBox = renderer->viewBoxF();
    const auto sane = [](double v) { return std::isfinite(v) && v > 0 && v <= 1e6; };
    if (!sane(viewBox.width()) || !sane(viewBox.height())) {
        picture.problem = QStringLiteral("its SVG viewBox is empty or out of range");
        return picture;
    }
    QSizeF natural = renderer->defaultSize();
    if (!sane(natural.width()) || !sane(natural.height()))
        natural = viewBox.size();
    picture.bytes = bytes.size();
    picture.naturalMm = natural * MillimetresPerCssPixel;
    picture.svg = std::move(svg);
    return picture;
}

Picture decodeRaster(const QByteArray& bytes)
{
    Picture picture;
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    const QByteArray format = QImageReader::imageFormat(&buffer);
    if (format != "png" && format != "jpeg" && format != "gif" && format != "bmp") {
        picture.problem = QStringLiteral("it is no PNG, JPEG, GIF, BMP or SVG picture");
        return picture;
    }
    buffer.seek(0);
    QImageReader reader(&buffer, format);
    const QSize size = reader.size(); // from the header, before anything is decoded
    if (!size.isValid() || size.isEmpty()) {
        picture.problem = QStringLiteral("its size cannot be read");
        return picture;
    }
    if (qint64(size.width()) * size.height() > MaxPicturePixels) {
        picture.problem = QStringLiteral("it has %1 x %2 pixels, more than %3 million")
                              .arg(size.width())
                              .arg(size.height())
                              .arg(MaxPicturePixels / 1'000'000);
        return picture;
    }
    reader.setAllocationLimit(int(MaxPicturePixels * 4 / (1 << 20)) + 1);
    QImage image = reader.read();
    if (image.isNull()) {
        picture.problem = reader.errorString();
        return picture;
    }
    picture.naturalMm = QSizeF(image.size()) * MillimetresPerCssPixel;
    if (statesResolution(bytes, format) && image.dotsPerMeterX() > 0 && image.dotsPerMeterY() > 0)
        picture.naturalMm
            = QSizeF(image.width() * 1000.0 / image.dotsPerMeterX(), image.height() * 1000.0 / image.dotsPerMeterY());
    picture.bytes = image.sizeInBytes();
    picture.image = std::move(image);
    return picture;
}

} // namespace

// Keyed by the source text, so a logo on every page is read once and painted from one image.
// Failures are kept too, so a bad source is read once. Beyond MaxCachedBytes (decoded pixels and keys)
// or MaxCachedPictures sources, pictures are still read, but each use reads its own.
struct GraphicMaker::Images {
    QHash<QString, Picture> pictures;
    qint64 cachedBytes = 0;
};

GraphicMaker::GraphicMaker(LayoutContext& context, const TemplateSheet& sheet)
    : m_context(context)
    , m_sheet(sheet)
    , m_images(std::make_unique<Images>())
{
}

GraphicMaker::~GraphicMaker() = default;

std::shared_ptr<const PageGraphic> GraphicMaker::image(const TemplateImage& image, const QString& src)
{
    const auto refuse = [&](const QString& problem) {
        m_context.tell(QStringLiteral("The picture \"%1\" cannot be read: %2").arg(quotedForMessage(src), problem));
        return emptyFrame();
    };
    auto found = m_images->pictures.find(src);
    if (found == m_images->pictures.end()) {
        Picture picture;
        QByteArray bytes;
        const QString trimmed = src.trimmed();
        bool read = false;
        if (trimmed.isEmpty()) {
            picture.problem = QStringLiteral("its source is empty");
        } else if (trimmed.startsWith(QLatin1String("data:"), Qt::CaseInsensitive)) {
            read = decodeDataUri(trimmed, bytes, picture.problem);
        } else {
            const QString folder = m_sheet.folder.isEmpty() ? QDir::currentPath() : m_sheet.folder;
            read = readRegularFile(QDir(folder).absoluteFilePath(trimmed), bytes, picture.problem);
        }
        if (read)
            picture = looksLikeSvg(bytes) ? decodeSvg(bytes) : decodeRaster(bytes);
        const qint64 cost = picture.bytes + src.size() * qint64(sizeof(QChar));
        if (m_images->pictures.size() >= MaxCachedPictures || m_images->cachedBytes + cost > MaxCachedBytes)
            return picture.readable() ? picture.graphic(image.fit) : refuse(picture.problem);
        m_images->cachedBytes += cost;
        found = m_images->pictures.insert(src, std::move(picture));
    }
    return found->readable() ? found->graphic(image.fit) : refuse(found->problem);
}

} // namespace vl
