// The spreadsheet export through libxlsxwriter. Pages are gathered first, since a sheet's columns
// come from the x edges of every cell it holds; the workbook is then written to a temporary file
// (the library takes a file name only) and copied into the output.

#include "ReportExport_p.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace vl {

namespace {

constexpr double PointsPerMm = 72 / 25.4;
// Excel's column width unit is the width of a digit of its default font, about 1.9 mm.
constexpr double MmPerCharacter = 1.9;
constexpr double ImagePixelsPerMm = 2 * 96 / 25.4; // drawn at twice the screen's and shown at half
constexpr lxw_row_t MaxRows = 1048576;
constexpr lxw_col_t MaxColumns = 16384;

// Positions compared in tenths of a millimetre, so that cells placed by the same sums share an edge.
long edge(double mmValue)
{
    return std::lround(mmValue * 10);
}

bool isNumberText(const QString& text, double& number)
{
    if (text.isEmpty() || text.size() > 24)
        return false;
    const QChar first = text.front();
    if (!first.isDigit() && first != u'-' && first != u'.')
        return false;
    // A leading zero before another digit is a code ("00123"), not an amount.
    const QStringView digits = first == u'-' ? QStringView(text).mid(1) : QStringView(text);
    if (digits.size() > 1 && digits[0] == u'0' && digits[1].isDigit())
        return false;
    bool ok = false;
    number = text.toDouble(&ok);
    return ok && std::isfinite(number);
}

QDateTime dateText(const QString& text)
{
    for (const QString& pattern : {QStringLiteral("yyyy-MM-dd"), QStringLiteral("yyyy-MM-dd HH:mm:ss"),
                                   QStringLiteral("yyyy-MM-ddTHH:mm:ss"), QStringLiteral("yyyy-MM-dd HH:mm")}) {
        const QDateTime date = QDateTime::fromString(text, pattern);
        if (date.isValid())
            return date;
    }
    return {};
}

// Excel's quoted literal; a quote inside cannot be written, so it is left out.
QString quotedLiteral(const QString& text)
{
    QString plain = text;
    plain.remove(u'"');
    return plain.isEmpty() ? QString() : u'"' + plain + u'"';
}

// A Qt date pattern in Excel's letters: months are m (Excel tells minutes by their place after h or
// before s), hours h, and anything else is quoted.
QString excelDateFormat(const QString& qtPattern)
{
    QString out, literal;
    const auto flush = [&] {
        out += quotedLiteral(literal);
        literal.clear();
    };
    for (qsizetype i = 0; i < qtPattern.size();) {
        const QChar c = qtPattern[i];
        qsizetype run = 1;
        while (i + run < qtPattern.size() && qtPattern[i + run] == c)
            ++run;
        if (c == u'\'') {
            const qsizetype close = qtPattern.indexOf(u'\'', i + 1);
            const qsizetype end = close < 0 ? qtPattern.size() : close;
            literal += end == i + 1 ? QStringLiteral("'") : qtPattern.mid(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        QString letters;
        if (c == u'y')
            letters = run >= 4 ? QStringLiteral("yyyy") : QStringLiteral("yy");
        else if (c == u'M')
            letters = QString(std::min<qsizetype>(run, 4), u'm');
        else if (c == u'd')
            letters = QString(std::min<qsizetype>(run, 4), u'd');
        else if (c == u'H' || c == u'h')
            letters = QString(std::min<qsizetype>(run, 2), u'h');
        else if (c == u'm')
            letters = QString(std::min<qsizetype>(run, 2), u'm');
        else if (c == u's')
            letters = QString(std::min<qsizetype>(run, 2), u's');
        else if ((c == u'A' || c == u'a') && i + 1 < qtPattern.size() && (qtPattern[i + 1] == u'P' || qtPattern[i + 1] == u'p')) {
            flush();
            out += QStringLiteral("AM/PM");
            i += 2;
            continue;
        }
        if (letters.isEmpty() && QStringLiteral("-/: ").contains(c)) {
            flush(); // separators Excel takes as they are
            out += QString(run, c);
        } else if (letters.isEmpty()) {
            literal += QString(run, c);
        } else {
            flush();
            out += letters;
        }
        i += run;
    }
    flush();
    return out;
}

// A Qt date pattern: a year of two or four digits, a month, a day or an hour outside quotes.
bool isDatePattern(const QString& format)
{
    if (format.contains(u'0') || format.contains(u'#'))
        return false;
    QString unquoted;
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        else if (!quoted)
            unquoted += c;
    }
    return unquoted.contains(QStringLiteral("yy")) || unquoted.contains(u'M') || unquoted.contains(u'd')
        || unquoted.contains(u'H') || unquoted.contains(u'h');
}

QString excelSheetName(const QString& name)
{
    QString out;
    for (QChar c : name)
        out += QStringLiteral("[]:*?/\\").contains(c) ? u'_' : c;
    while (out.startsWith(u'\''))
        out.remove(0, 1);
    while (out.endsWith(u'\''))
        out.chop(1);
    out = out.left(31);
    return out.trimmed().isEmpty() ? QStringLiteral("Sheet1") : out;
}

lxw_color_t rgb(const QColor& color)
{
    return static_cast<lxw_color_t>(color.rgb() & 0xFFFFFF);
}

// An item kept for the sheet, its rectangle moved to the sheet's running height.
struct Placed {
    PageItem item;
    double top = 0;
};

class XlsxSink final : public ExportSink {
public:
    explicit XlsxSink(ExportOutput& output) : m_output(output) {}

    bool begin(const TemplateSheet& sheet, int) override
    {
        m_bands = BandIndex(sheet);
        m_sheetName = sheet.name;
        return true;
    }

    bool page(LaidOutPage& page, int index) override
    {
        // Page headers and footers come once, from the first page (its footer at the sheet's end);
        // a detail header that a page break repeated comes once per master row.
        std::vector<Placed> body;
        for (PageItem& item : page.items) {
            const TemplateBand* band = m_bands.bandOf(item);
            const BandKind kind = band ? band->kind : BandKind::Title;
            if (kind == BandKind::PageHeader && index > 0)
                continue;
            if (kind == BandKind::PageFooter) {
                if (index == 0)
                    m_footer.push_back({std::move(item), 0});
                continue;
            }
            if (kind == BandKind::DetailHeader) {
                const auto [first, added] = m_detailHeaderPage.try_emplace({band, item.masterIndex}, index);
                if (first->second != index)
                    continue;
            }
            body.push_back({std::move(item), 0});
        }
        appendBlock(body);
        return true;
    }

    bool finish() override
    {
        appendBlock(m_footer);
        return writeWorkbook();
    }

private:
    // Items of one page (or the footer) below what the sheet holds so far, rows at their tops.
    void appendBlock(std::vector<Placed>& items)
    {
        if (items.empty())
            return;
        double top = items.front().item.rect.top(), bottom = items.front().item.rect.bottom();
        for (const Placed& placed : items) {
            top = std::min(top, placed.item.rect.top());
            bottom = std::max(bottom, placed.item.rect.bottom());
        }
        for (Placed& placed : items) {
            placed.top = m_height + placed.item.rect.top() - top;
            m_items.push_back(std::move(placed));
        }
        m_height += bottom - top;
        items.clear();
    }

    lxw_format* formatFor(const PageItem& item, const SpreadsheetValue& value)
    {
        const CellStyle& style = item.style;
        const QString key = QStringLiteral("%1|%2|%3%4%5|%6|%7|%8|%9|%10|%11")
                                .arg(style.fontFamily)
                                .arg(style.fontSize)
                                .arg(style.bold)
                                .arg(style.italic)
                                .arg(style.underline)
                                .arg(static_cast<int>(style.alignment))
                                .arg(style.borders)
                                .arg(style.color.name(QColor::HexArgb), style.background.isValid() ? style.background.name() : QString())
                                .arg(style.wrap)
                                .arg(value.numberFormat);
        if (const auto found = m_formats.find(key); found != m_formats.end())
            return found->second;
        lxw_format* format = workbook_add_format(m_workbook);
        format_set_font_name(format, style.fontFamily.toUtf8().constData());
        format_set_font_size(format, style.fontSize);
        if (style.bold)
            format_set_bold(format);
        if (style.italic)
            format_set_italic(format);
        if (style.underline)
            format_set_underline(format, LXW_UNDERLINE_SINGLE);
        format_set_font_color(format, rgb(style.color));
        if (style.background.isValid() && style.background.alpha() > 0) {
            format_set_pattern(format, LXW_PATTERN_SOLID);
            format_set_bg_color(format, rgb(style.background));
        }
        const Qt::Alignment align = style.alignment;
        format_set_align(format, align & Qt::AlignHCenter ? LXW_ALIGN_CENTER : align & Qt::AlignRight ? LXW_ALIGN_RIGHT : LXW_ALIGN_LEFT);
        format_set_align(format, align & Qt::AlignTop      ? LXW_ALIGN_VERTICAL_TOP
                                 : align & Qt::AlignBottom ? LXW_ALIGN_VERTICAL_BOTTOM
                                                           : LXW_ALIGN_VERTICAL_CENTER);
        if (style.wrap || item.text.contains(u'\n'))
            format_set_text_wrap(format);
        if (style.borders & BorderLeft)
            format_set_left(format, LXW_BORDER_THIN);
        if (style.borders & BorderTop)
            format_set_top(format, LXW_BORDER_THIN);
        if (style.borders & BorderRight)
            format_set_right(format, LXW_BORDER_THIN);
        if (style.borders & BorderBottom)
            format_set_bottom(format, LXW_BORDER_THIN);
        if (!value.numberFormat.isEmpty())
            format_set_num_format(format, value.numberFormat.toUtf8().constData());
        m_formats.emplace(key, format);
        return format;
    }

    bool failed(lxw_error code, const char* what)
    {
        error = QStringLiteral("The spreadsheet could not be written (%1): %2")
                    .arg(QLatin1String(what), QString::fromUtf8(lxw_strerror(code)));
        return false;
    }

    bool writeWorkbook()
    {
        QTemporaryDir folder;
        if (!folder.isValid()) {
            error = QStringLiteral("No temporary folder for the spreadsheet: %1").arg(folder.errorString());
            return false;
        }
        const QByteArray fileName = QFile::encodeName(folder.filePath(QStringLiteral("export.xlsx")));
        QByteArray tmpdir = QFile::encodeName(folder.path());
        lxw_workbook_options options {};
        options.tmpdir = tmpdir.data();
        m_workbook = workbook_new_opt(fileName.constData(), &options);
        if (!m_workbook) {
            error = QStringLiteral("The spreadsheet could not be started");
            return false;
        }
        const bool written = fillWorkbook();
        const lxw_error closed = workbook_close(m_workbook);
        m_workbook = nullptr;
        if (!written)
            return false;
        if (closed != LXW_NO_ERROR)
            return failed(closed, "closing");
        QFile file(QFile::decodeName(fileName));
        if (!file.open(QIODevice::ReadOnly)) {
            error = QStringLiteral("The spreadsheet could not be read back: %1").arg(file.errorString());
            return false;
        }
        QIODevice* device = m_output.open(-1, 1);
        if (!device) {
            error = m_output.failure;
            return false;
        }
        while (!file.atEnd()) {
            const QByteArray chunk = file.read(1 << 20);
            if (chunk.isEmpty() && file.error() != QFileDevice::NoError) {
                error = QStringLiteral("The spreadsheet could not be read back: %1").arg(file.errorString());
                return false;
            }
            if (!writeAll(*device, chunk, error))
                return false;
        }
        return closeOutput(m_output);
    }

    bool fillWorkbook()
    {
        lxw_worksheet* sheet = workbook_add_worksheet(m_workbook, excelSheetName(m_sheetName).toUtf8().constData());
        if (!sheet)
            return failed(LXW_ERROR_SHEETNAME_ALREADY_USED, "sheet name");
        std::vector<long> xs, ys;
        for (const Placed& placed : m_items) {
            xs.push_back(edge(placed.item.rect.left()));
            xs.push_back(edge(placed.item.rect.right()));
            ys.push_back(edge(placed.top));
        }
        std::sort(xs.begin(), xs.end());
        xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
        std::sort(ys.begin(), ys.end());
        ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
        if (xs.size() > MaxColumns + 1 || ys.size() > MaxRows) {
            error = QStringLiteral("The report has more rows or columns than a worksheet holds (%1 rows, %2 columns)")
                        .arg(ys.size())
                        .arg(xs.size() - 1);
            return false;
        }
        const auto indexOf = [](const std::vector<long>& edges, long value) {
            return static_cast<size_t>(std::lower_bound(edges.begin(), edges.end(), value) - edges.begin());
        };
        for (size_t column = 0; column + 1 < xs.size(); ++column)
            worksheet_set_column(sheet, static_cast<lxw_col_t>(column), static_cast<lxw_col_t>(column),
                                 (xs[column + 1] - xs[column]) / 10.0 / MmPerCharacter, nullptr);
        const long sheetBottom = edge(m_height);
        for (size_t row = 0; row < ys.size(); ++row) {
            const long next = row + 1 < ys.size() ? ys[row + 1] : sheetBottom;
            worksheet_set_row(sheet, static_cast<lxw_row_t>(row), std::max(1L, next - ys[row]) / 10.0 * PointsPerMm, nullptr);
        }
        std::set<std::pair<size_t, size_t>> taken;
        std::vector<QByteArray> pictures; // the library reads them when the workbook closes
        for (const Placed& placed : m_items) {
            const PageItem& item = placed.item;
            const size_t firstColumn = indexOf(xs, edge(item.rect.left()));
            const size_t lastColumn = std::max(firstColumn, indexOf(xs, edge(item.rect.right())) - 1);
            const size_t firstRow = indexOf(ys, edge(placed.top));
            size_t lastRow = firstRow;
            const long bottom = edge(placed.top + item.rect.height());
            while (lastRow + 1 < ys.size() && ys[lastRow + 1] < bottom)
                ++lastRow;
            // Cells laid over one another: the first keeps the place, as a cell holds one value.
            bool free = true;
            for (size_t row = firstRow; row <= lastRow && free; ++row)
                for (size_t column = firstColumn; column <= lastColumn && free; ++column)
                    free = !taken.count({row, column});
            if (!free)
                continue;
            const auto row = static_cast<lxw_row_t>(firstRow);
            const auto column = static_cast<lxw_col_t>(firstColumn);
            if (item.graphic) {
                QByteArray png = graphicPng(*item.graphic, item.rect.size(), ImagePixelsPerMm);
                if (png.isEmpty())
                    continue;
                lxw_image_options options {};
                options.x_scale = options.y_scale = 0.5;
                options.object_position = LXW_OBJECT_MOVE_AND_SIZE;
                pictures.push_back(std::move(png));
                const QByteArray& bytes = pictures.back();
                if (const lxw_error code = worksheet_insert_image_buffer_opt(
                        sheet, row, column, reinterpret_cast<const unsigned char*>(bytes.constData()),
                        static_cast<size_t>(bytes.size()), &options);
                    code != LXW_NO_ERROR)
                    return failed(code, "picture");
                continue;
            }
            for (size_t r = firstRow; r <= lastRow; ++r)
                for (size_t c = firstColumn; c <= lastColumn; ++c)
                    taken.insert({r, c});
            const SpreadsheetValue value = spreadsheetValue(item);
            lxw_format* format = formatFor(item, value);
            if (lastRow > firstRow || lastColumn > firstColumn) {
                if (const lxw_error code = worksheet_merge_range(sheet, row, column, static_cast<lxw_row_t>(lastRow),
                                                                 static_cast<lxw_col_t>(lastColumn), "", format);
                    code != LXW_NO_ERROR)
                    return failed(code, "merged cells");
            }
            lxw_error code = LXW_NO_ERROR;
            if (value.kind == SpreadsheetValue::Number) {
                code = worksheet_write_number(sheet, row, column, value.number, format);
            } else if (value.kind == SpreadsheetValue::Date) {
                const QDate date = value.date.date();
                const QTime time = value.date.time();
                lxw_datetime when {date.year(), date.month(), date.day(), time.hour(), time.minute(),
                                   time.second() + time.msec() / 1000.0};
                code = worksheet_write_datetime(sheet, row, column, &when, format);
            } else if (!item.text.isEmpty()) {
                code = worksheet_write_string(sheet, row, column, item.text.toUtf8().constData(), format);
            } else if (lastRow == firstRow && lastColumn == firstColumn) {
                code = worksheet_write_blank(sheet, row, column, format);
            }
            if (code != LXW_NO_ERROR)
                return failed(code, "cell");
        }
        return true;
    }

    ExportOutput& m_output;
    BandIndex m_bands;
    QString m_sheetName;
    std::vector<Placed> m_items, m_footer;
    double m_height = 0; // mm of the sheet filled so far
    std::map<std::pair<const TemplateBand*, int>, int> m_detailHeaderPage; // by band and master row
    std::map<QString, lxw_format*> m_formats;
    lxw_workbook* m_workbook = nullptr;
};

} // namespace

QString spreadsheetNumberFormat(const QString& format, int decimals, bool* isDate)
{
    if (isDate)
        *isDate = false;
    if (format.isEmpty())
        return decimals > 0 ? QStringLiteral("0.") + QString(std::min(decimals, 15), u'0')
            : decimals == 0 ? QStringLiteral("0")
                            : QString();
    if (isDatePattern(format)) {
        if (isDate)
            *isDate = true;
        return excelDateFormat(format);
    }
    // The number pattern is the run of 0 # , . with an optional %; what stands around it is text.
    const qsizetype start = format.indexOf(QRegularExpression(QStringLiteral("[0#]")));
    if (start < 0)
        return {};
    qsizetype begin = start, end = start;
    while (begin > 0 && QStringLiteral("0#,.").contains(format[begin - 1]))
        --begin;
    while (end < format.size() && QStringLiteral("0#,.%").contains(format[end]))
        ++end;
    return quotedLiteral(format.left(begin)) + format.mid(begin, end - begin) + quotedLiteral(format.mid(end));
}

SpreadsheetValue spreadsheetValue(const PageItem& item)
{
    SpreadsheetValue value;
    // Typed only when the cell shows one value and nothing around it; "Total: 12" stays text.
    if (!item.cell || item.graphic || item.cell->segments.size() != 1 || item.cell->segments.front().kind == TextSegment::Literal)
        return value;
    const CellStyle& style = item.style;
    bool isDate = false;
    const QString numberFormat = spreadsheetNumberFormat(style.format, style.decimals, &isDate);
    if (isDate || (style.format.isEmpty() && dateText(item.text).isValid())) {
        const QDateTime date = dateText(item.value);
        if (!date.isValid())
            return value;
        value.kind = SpreadsheetValue::Date;
        value.date = date;
        value.numberFormat = isDate ? numberFormat
            : date.time() == QTime(0, 0) ? QStringLiteral("yyyy-mm-dd")
                                         : QStringLiteral("yyyy-mm-dd hh:mm:ss");
        return value;
    }
    double number = 0;
    if (style.format.isEmpty()) {
        // Without a format the printed text must be the number itself, so nothing shown is lost;
        // decimals only rounded it, and the cell keeps the whole value under a format that rounds.
        if (!isNumberText(item.text, number))
            return value;
        if (double whole = 0; style.decimals >= 0 && isNumberText(item.value, whole))
            number = whole;
    } else if (numberFormat.isEmpty() || !isNumberText(item.value, number)) {
        return value;
    }
    value.kind = SpreadsheetValue::Number;
    value.number = number;
    value.numberFormat = numberFormat;
    return value;
}

std::unique_ptr<ExportSink> makeXlsxSink(ExportOutput& output)
{
    return std::make_unique<XlsxSink>(output);
}

} // namespace vl
