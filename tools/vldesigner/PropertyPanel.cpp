#include "PropertyPanel.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace vl::designer {

namespace {

enum FieldKind { Plain, Expression, Flag, Choice };

const QStringList StyleAttributes = {"font", "size", "bold", "italic", "underline", "color", "background", "align",
                                     "valign", "border", "decimals", "format", "wrap"};
const QStringList FlagAttributes = {"bold", "italic", "underline", "wrap", "input", "showText", "grow", "newPage",
                                    "keepTogether", "repeatHeader"};

QStringList choicesOf(const QString& attribute, std::string_view element)
{
    if (attribute == u"align")
        return {"left", "center", "right"};
    if (attribute == u"valign")
        return {"top", "middle", "bottom"};
    if (attribute == u"fit")
        return {"contain", "cover", "stretch", "none"};
    if (attribute == u"pageBreak")
        return {"none", "before", "after"};
    if (attribute == u"type" && element == "barcode")
        return {"qrcode", "code128", "code39", "ean13", "upca", "datamatrix", "pdf417"};
    if (attribute == u"type" && element == "chart")
        return {"bar", "line", "pie"};
    return {};
}

QString valueOf(pugi::xml_node node, const QString& attribute)
{
    if (attribute == QLatin1String(TextAttribute))
        return QString::fromUtf8(node.child_value());
    return QString::fromUtf8(node.attribute(attribute.toUtf8().constData()).value());
}

// Why the engine would refuse the text as a cell's text or an attribute's expression; empty when it reads.
QString expressionProblem(const QString& text)
{
    std::vector<TextSegment> segments;
    QString reason;
    if (!parseCellText(text, segments, reason))
        return reason;
    return {};
}

} // namespace

PropertyPanel::PropertyPanel(DesignDocument& document, DesignCanvas& canvas, QWidget* parent)
    : QWidget(parent), m_document(document), m_canvas(canvas)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    connect(&m_document, &DesignDocument::changed, this, &PropertyPanel::rebuild);
    connect(&m_canvas, &DesignCanvas::selectionChanged, this, &PropertyPanel::rebuild);
    rebuild();
}

PropertyPanel::~PropertyPanel() = default;

void PropertyPanel::setBand(int index)
{
    m_band = index;
    rebuild();
}

// The canvas's selection among the items the document has now: an undone insertion leaves handles to
// elements that are gone, which are compared here but never read.
std::vector<pugi::xml_node> PropertyPanel::liveSelection() const
{
    std::vector<pugi::xml_node> live;
    const auto& sheets = m_document.sheets();
    const int sheet = m_canvas.sheet();
    if (sheet < 0 || sheet >= int(sheets.size()))
        return live;
    for (const pugi::xml_node& node : m_canvas.selection())
        for (const DesignBand& band : sheets[size_t(sheet)].bands)
            for (const DesignItem& item : band.items)
                if (item.node == node)
                    live.push_back(node);
    return live;
}

void PropertyPanel::rebuild()
{
    // The old fields go later: this may run inside one of their own signals.
    if (m_content) {
        m_content->hide();
        m_content->setParent(nullptr);
        m_content->deleteLater();
    }
    m_content = new QWidget;
    auto* form = new QFormLayout(m_content);
    layout()->addWidget(m_content);

    const std::vector<pugi::xml_node> selection = liveSelection();
    const auto& sheets = m_document.sheets();
    const int sheet = m_canvas.sheet();
    if (sheet < 0 || sheet >= int(sheets.size()))
        return;
    if (selection.size() > 1) {
        form->addRow(new QLabel(tr("%1 items").arg(selection.size())));
        for (const char* name : {"x", "y", "width", "height"})
            addField(*form, QString::fromLatin1(name), selection, Plain);
        return;
    }
    if (selection.size() == 1) {
        const pugi::xml_node node = selection.front();
        const std::string_view element = node.name();
        form->addRow(new QLabel(QStringLiteral("<%1>").arg(QString::fromUtf8(node.name()))));
        QStringList names = {"x", "y", "width", "height", "name", "visible"};
        if (element == "cell" || element == "barcode")
            names.prepend(QString::fromLatin1(TextAttribute));
        if (element == "cell")
            names << "input" << "href";
        if (element == "image")
            names << "src" << "fit";
        if (element == "barcode")
            names << "type" << "showText";
        if (element == "chart")
            names << "type" << "source" << "category" << "value" << "title";
        if (element != "image")
            names << StyleAttributes;
        for (const QString& name : names) {
            const bool expression = name == QLatin1String(TextAttribute) || name == u"href" || name == u"src" || name == u"visible"
                || name == u"category" || name == u"value" || StyleAttributes.contains(name);
            const int kind = !choicesOf(name, element).isEmpty() ? Choice : FlagAttributes.contains(name) ? Flag : expression ? Expression : Plain;
            addField(*form, name, {node}, kind);
        }
        return;
    }
    const auto& bands = sheets[size_t(sheet)].bands;
    if (bands.empty())
        return;
    m_band = std::clamp(m_band, 0, int(bands.size()) - 1);
    auto* chooser = new QComboBox;
    chooser->setObjectName(QStringLiteral("band"));
    for (const DesignBand& band : bands)
        chooser->addItem(band.label);
    chooser->setCurrentIndex(m_band);
    connect(chooser, &QComboBox::activated, this, [this](int index) { setBand(index); });
    form->addRow(tr("Band"), chooser);
    const DesignBand& band = bands[size_t(m_band)];
    auto* kind = new QLabel(QString::fromUtf8(band.node.name()));
    kind->setObjectName(QStringLiteral("kind"));
    form->addRow(tr("kind"), kind);
    addField(*form, QStringLiteral("height"), {band.node}, Plain);
    addField(*form, QStringLiteral("grow"), {band.node}, Flag);
    addField(*form, QStringLiteral("visible"), {band.node}, Expression);
    if (band.kind != BandKind::PageHeader && band.kind != BandKind::PageFooter)
        addField(*form, QStringLiteral("pageBreak"), {band.node}, Choice);
    const pugi::xml_node group = band.node.parent();
    if (std::string_view(group.name()) == "group") {
        form->addRow(new QLabel(tr("Group")));
        addField(*form, QStringLiteral("by"), {group}, Expression);
        for (const char* name : {"newPage", "keepTogether", "repeatHeader"})
            addField(*form, QString::fromLatin1(name), {group}, Flag);
    }
}

void PropertyPanel::addField(QFormLayout& form, const QString& attribute, const std::vector<pugi::xml_node>& nodes, int kind)
{
    QString value = valueOf(nodes.front(), attribute);
    bool same = true;
    for (const pugi::xml_node& node : nodes)
        same = same && valueOf(node, attribute) == value;
    auto* error = new QLabel;
    error->setObjectName(attribute + QStringLiteral("Error"));
    error->setStyleSheet(QStringLiteral("color: red"));
    error->setWordWrap(true);
    error->hide();
    QWidget* field = nullptr;
    if (kind == Flag || kind == Choice) {
        auto* box = new QComboBox;
        box->addItem(QString());
        box->addItems(kind == Flag ? QStringList{"true", "false"} : choicesOf(attribute, nodes.front().name()));
        if (box->findText(value) < 0)
            box->addItem(value); // an expression or a spelling of its own, kept as written
        box->setCurrentIndex(box->findText(value));
        connect(box, &QComboBox::activated, this, [this, attribute, nodes, box] { commit(attribute, box->currentText(), nodes, box); });
        field = box;
    } else {
        auto* edit = new QLineEdit(same ? value : QString());
        if (!same)
            edit->setPlaceholderText(tr("(several)"));
        if (kind == Expression)
            connect(edit, &QLineEdit::textEdited, this, [edit, error](const QString& text) {
                const QString problem = expressionProblem(text);
                error->setText(problem);
                error->setVisible(!problem.isEmpty());
                edit->setProperty("problem", problem);
            });
        connect(edit, &QLineEdit::editingFinished, this, [this, attribute, nodes, edit, kind] {
            if (!edit->isModified())
                return;
            if (kind == Expression && !expressionProblem(edit->text()).isEmpty())
                return; // shown already; nothing is written until it reads
            commit(attribute, edit->text(), nodes, edit);
        });
        field = edit;
    }
    field->setObjectName(attribute);
    auto* box = new QWidget;
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(field);
    column->addWidget(error);
    const QString label = attribute == QLatin1String(TextAttribute) ? tr("text") : attribute;
    form.addRow(label, box);
}

void PropertyPanel::commit(const QString& attribute, const QString& value, const std::vector<pugi::xml_node>& nodes, QWidget* field)
{
    std::vector<AttributeChange> changes;
    for (const pugi::xml_node& node : nodes) {
        QString text = value;
        // Lengths typed with a comma or many decimals are written as the designer writes lengths.
        if (attribute == u"x" || attribute == u"y" || attribute == u"width" || attribute == u"height") {
            bool ok = false;
            const double number = QString(value).replace(u',', u'.').toDouble(&ok);
            if (ok)
                text = lengthText(number);
        }
        changes.push_back({node, attribute, text});
    }
    const QString reason = m_document.changeAttributes(changes, tr("Set %1").arg(attribute));
    if (reason.isEmpty())
        return;
    if (auto* error = field->parentWidget()->findChild<QLabel*>(attribute + QStringLiteral("Error"))) {
        error->setText(reason);
        error->show();
    }
}

} // namespace vl::designer
