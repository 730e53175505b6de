#include "DesignDocument.h"

#include "Exceptions.h"
#include "OutputFile.h"

#include <QFile>
#include <QFileInfo>
#include <QPageSize>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>

namespace vl::designer {

namespace {

// Whitespace text, comments and the declaration stay where they stand, so an unchanged file saves as it was
// read; parse_fragment keeps the line breaks between the top-level nodes. Document types never get this far:
// the engine refuses them before the tree is built.
constexpr unsigned TreeOptions = (pugi::parse_full & ~pugi::parse_doctype) | pugi::parse_ws_pcdata | pugi::parse_fragment;
constexpr unsigned WriteOptions = pugi::format_raw | pugi::format_no_declaration;

using Path = std::vector<int>;

Path pathOf(pugi::xml_node node)
{
    Path path;
    for (; node && node.parent(); node = node.parent()) {
        int index = 0;
        for (pugi::xml_node before = node.previous_sibling(); before; before = before.previous_sibling())
            ++index;
        path.push_back(index);
    }
    std::reverse(path.begin(), path.end());
    return path;
}

pugi::xml_node childAt(pugi::xml_node parent, int index)
{
    pugi::xml_node child = parent.first_child();
    for (int i = 0; child && i < index; ++i)
        child = child.next_sibling();
    return child;
}

pugi::xml_node nodeAt(pugi::xml_document& document, const Path& path)
{
    pugi::xml_node node = document;
    for (int index : path)
        node = childAt(node, index);
    return node;
}

int childIndex(pugi::xml_node node)
{
    int index = 0;
    for (pugi::xml_node before = node.previous_sibling(); before; before = before.previous_sibling())
        ++index;
    return index;
}

std::string printed(pugi::xml_node node)
{
    std::ostringstream out;
    node.print(out, "", WriteOptions, pugi::encoding_utf8);
    return out.str();
}

bool isWhitespace(pugi::xml_node node)
{
    if (node.type() != pugi::node_pcdata)
        return false;
    const std::string_view text = node.value();
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; });
}

// The indentation of an element: what follows the last line break of the whitespace before it.
std::string indentOf(pugi::xml_node node, const std::string& fallback)
{
    const pugi::xml_node before = node.previous_sibling();
    if (!isWhitespace(before))
        return fallback;
    const std::string text = before.value();
    const auto lineBreak = text.rfind('\n');
    return lineBreak == std::string::npos ? fallback : text.substr(lineBreak + 1);
}

std::string escapedText(const std::string& text)
{
    pugi::xml_document scratch;
    scratch.append_child(pugi::node_pcdata).set_value(text.c_str());
    return printed(scratch.first_child());
}

// One reversible change of the tree. Nodes are named by their path of child indices, not by handle: an
// undone insertion destroys its nodes, and the redone one makes new ones at the same places.
class Step {
public:
    virtual ~Step() = default;
    virtual void apply(pugi::xml_document& document) = 0;
    virtual void revert(pugi::xml_document& document) = 0;
};

class AttributeStep : public Step {
public:
    AttributeStep(pugi::xml_node node, std::string name, std::optional<std::string> after)
        : m_path(pathOf(node)), m_name(std::move(name)), m_after(std::move(after))
    {
        int index = 0;
        for (pugi::xml_attribute attribute = node.first_attribute(); attribute; attribute = attribute.next_attribute(), ++index)
            if (m_name == attribute.name()) {
                m_before = attribute.value();
                m_index = index;
            }
    }
    bool changes() const { return m_before != m_after; }
    const Path& path() const { return m_path; }
    const std::string& name() const { return m_name; }
    void takeAfter(const AttributeStep& later) { m_after = later.m_after; }

    void apply(pugi::xml_document& document) override { set(document, m_after); }
    void revert(pugi::xml_document& document) override { set(document, m_before); }

private:
    void set(pugi::xml_document& document, const std::optional<std::string>& value)
    {
        pugi::xml_node node = nodeAt(document, m_path);
        pugi::xml_attribute attribute = node.attribute(m_name.c_str());
        if (!value) {
            node.remove_attribute(attribute);
            return;
        }
        if (!attribute) {
            // Back where it stood, so an undone removal restores the exact text.
            pugi::xml_attribute at = node.first_attribute();
            for (int i = 0; at && i < m_index; ++i)
                at = at.next_attribute();
            attribute = m_index >= 0 && at ? node.insert_attribute_before(m_name.c_str(), at) : node.append_attribute(m_name.c_str());
        }
        attribute.set_value(value->c_str());
    }

    Path m_path;
    std::string m_name;
    std::optional<std::string> m_before, m_after;
    int m_index = -1;
};

// Replaces `count` children of an element from `index` on by the nodes of an XML fragment.
class ChildrenStep : public Step {
public:
    ChildrenStep(pugi::xml_node parent, int index, int count, std::string after)
        : m_path(pathOf(parent)), m_index(index), m_after(std::move(after))
    {
        pugi::xml_node child = childAt(parent, index);
        for (int i = 0; child && i < count; ++i, child = child.next_sibling()) {
            m_before += printed(child);
            ++m_beforeCount;
        }
    }
    void apply(pugi::xml_document& document) override { m_afterCount = replace(document, m_beforeCount, m_after); }
    void revert(pugi::xml_document& document) override { replace(document, m_afterCount, m_before); }

    // The nodes the last apply() made.
    std::vector<pugi::xml_node> made(pugi::xml_document& document) const
    {
        std::vector<pugi::xml_node> nodes;
        pugi::xml_node child = childAt(nodeAt(document, m_path), m_index);
        for (int i = 0; child && i < m_afterCount; ++i, child = child.next_sibling())
            nodes.push_back(child);
        return nodes;
    }

private:
    int replace(pugi::xml_document& document, int count, const std::string& fragment)
    {
        pugi::xml_node parent = nodeAt(document, m_path);
        for (int i = 0; i < count; ++i)
            parent.remove_child(childAt(parent, m_index));
        pugi::xml_document parsed;
        parsed.load_buffer(fragment.data(), fragment.size(), TreeOptions, pugi::encoding_utf8);
        const pugi::xml_node at = childAt(parent, m_index);
        int made = 0;
        for (pugi::xml_node node : parsed.children()) {
            if (at)
                parent.insert_copy_before(node, at);
            else
                parent.append_copy(node);
            ++made;
        }
        return made;
    }

    Path m_path;
    int m_index;
    std::string m_before, m_after;
    int m_beforeCount = 0, m_afterCount = 0;
};

// Puts an element's children in a new order (old indices in their new order), keeping every node.
class ReorderStep : public Step {
public:
    ReorderStep(pugi::xml_node parent, std::vector<int> order) : m_path(pathOf(parent)), m_order(std::move(order)) {}
    void apply(pugi::xml_document& document) override { arrange(document, m_order); }
    void revert(pugi::xml_document& document) override
    {
        std::vector<int> inverse(m_order.size());
        for (size_t i = 0; i < m_order.size(); ++i)
            inverse[m_order[i]] = static_cast<int>(i);
        arrange(document, inverse);
    }

private:
    void arrange(pugi::xml_document& document, const std::vector<int>& order)
    {
        pugi::xml_node parent = nodeAt(document, m_path);
        std::vector<pugi::xml_node> children;
        for (pugi::xml_node child : parent.children())
            children.push_back(child);
        for (int index : order)
            parent.append_move(children[index]);
    }

    Path m_path;
    std::vector<int> m_order;
};

enum { MoveCommandId = 1 };

QString bandLabel(std::string_view element, const QString& detail)
{
    static const std::pair<std::string_view, const char*> names[] = {
        {"title", "Title"}, {"pageHeader", "Page header"}, {"pageFooter", "Page footer"}, {"master", "Master"},
        {"detailHeader", "Detail header"}, {"detail", "Detail"}, {"detailFooter", "Detail footer"}, {"summary", "Summary"},
        {"groupHeader", "Group header"}, {"groupFooter", "Group footer"},
    };
    QString label = QString::fromUtf8(element.data(), qsizetype(element.size()));
    for (const auto& [name, text] : names)
        if (name == element)
            label = QString::fromLatin1(text);
    return detail.isEmpty() ? label : QStringLiteral("%1 (%2)").arg(label, detail);
}

std::optional<BandKind> plainBandKind(std::string_view name)
{
    static const std::pair<std::string_view, BandKind> kinds[] = {
        {"title", BandKind::Title}, {"pageHeader", BandKind::PageHeader}, {"pageFooter", BandKind::PageFooter},
        {"master", BandKind::Master}, {"detailHeader", BandKind::DetailHeader}, {"detail", BandKind::Detail},
        {"detailFooter", BandKind::DetailFooter}, {"summary", BandKind::Summary},
    };
    for (const auto& [element, kind] : kinds)
        if (element == name)
            return kind;
    return std::nullopt;
}

const char* const NewSheetBands = "<title height=\"20\"/><pageHeader height=\"8\"/><master height=\"10\"/>"
                                  "<detailHeader detail=\"Detail\" height=\"7\"/><detail detail=\"Detail\" height=\"6\"/>"
                                  "<summary height=\"10\"/><pageFooter height=\"8\"/>";

} // namespace

class DesignDocument::Impl {
public:
    DesignDocument* owner = nullptr;
    pugi::xml_document tree;
    std::string text;
    QString path;
    ReportTemplate model;
    std::vector<DesignSheet> sheets;
    QUndoStack stack;

    // Reads the tree as the engine would; the model and sheets stay as they were when it refuses.
    ParseResult refresh()
    {
        std::ostringstream out;
        tree.save(out, "", WriteOptions, pugi::encoding_utf8);
        std::string written = out.str();
        ReportTemplate parsed;
        ParseResult result = parseTemplate(written, parsed);
        if (!result.ok)
            return result;
        text = std::move(written);
        model = std::move(parsed);
        if (!path.isEmpty())
            for (TemplateSheet& sheet : model.sheets)
                sheet.folder = QFileInfo(path).absolutePath();
        rebuildSheets();
        return result;
    }

    void rebuildSheets();
    QString execute(const QString& what, std::vector<std::unique_ptr<Step>> steps, int id = -1,
                    std::vector<pugi::xml_node>* made = nullptr);

    pugi::xml_node root() { return tree.document_element(); }
    std::vector<pugi::xml_node> sheetNodes()
    {
        std::vector<pugi::xml_node> nodes;
        for (pugi::xml_node child : root().children("sheet"))
            nodes.push_back(child);
        return nodes;
    }
};

namespace {

class DocumentCommand : public QUndoCommand {
public:
    DocumentCommand(pugi::xml_document& tree, std::function<void()> settle, const QString& text,
                    std::vector<std::unique_ptr<Step>> steps, int id)
        : QUndoCommand(text), m_tree(tree), m_settle(std::move(settle)), m_steps(std::move(steps)), m_id(id)
    {
    }
    int id() const override { return m_id; }
    void redo() override
    {
        if (m_done) {
            m_done = false; // made already when it was checked
            return;
        }
        for (auto& step : m_steps)
            step->apply(m_tree);
        m_settle();
    }
    void undo() override
    {
        for (auto it = m_steps.rbegin(); it != m_steps.rend(); ++it)
            (*it)->revert(m_tree);
        m_settle();
    }
    bool mergeWith(const QUndoCommand* other) override
    {
        const auto* later = dynamic_cast<const DocumentCommand*>(other);
        if (!later || later->m_id != MoveCommandId || later->m_steps.size() != m_steps.size())
            return false;
        for (size_t i = 0; i < m_steps.size(); ++i) {
            const auto* mine = dynamic_cast<const AttributeStep*>(m_steps[i].get());
            const auto* theirs = dynamic_cast<const AttributeStep*>(later->m_steps[i].get());
            if (!mine || !theirs || mine->path() != theirs->path() || mine->name() != theirs->name())
                return false;
        }
        for (size_t i = 0; i < m_steps.size(); ++i)
            static_cast<AttributeStep*>(m_steps[i].get())->takeAfter(*static_cast<const AttributeStep*>(later->m_steps[i].get()));
        return true;
    }

private:
    pugi::xml_document& m_tree;
    std::function<void()> m_settle; // reads the tree again and tells the document's watchers
    std::vector<std::unique_ptr<Step>> m_steps;
    int m_id;
    bool m_done = true;
};

} // namespace

QString DesignDocument::Impl::execute(const QString& what, std::vector<std::unique_ptr<Step>> steps, int id,
                                      std::vector<pugi::xml_node>* made)
{
    if (id != MoveCommandId)
        steps.erase(std::remove_if(steps.begin(), steps.end(),
                                   [](const auto& step) {
                                       const auto* attribute = dynamic_cast<const AttributeStep*>(step.get());
                                       return attribute && !attribute->changes();
                                   }),
                    steps.end());
    if (steps.empty())
        return {};
    for (auto& step : steps)
        step->apply(tree);
    const ParseResult result = refresh();
    if (!result.ok) {
        for (auto it = steps.rbegin(); it != steps.rend(); ++it)
            (*it)->revert(tree);
        refresh();
        return result.message;
    }
    if (made)
        for (auto& step : steps)
            if (auto* children = dynamic_cast<ChildrenStep*>(step.get()))
                for (pugi::xml_node node : children->made(tree))
                    if (node.type() == pugi::node_element)
                        made->push_back(node);
    stack.push(new DocumentCommand(
        tree,
        [this] {
            refresh();
            emit owner->changed();
        },
        what, std::move(steps), id));
    emit owner->changed();
    return {};
}

void DesignDocument::Impl::rebuildSheets()
{
    sheets.clear();
    const std::vector<pugi::xml_node> nodes = sheetNodes();
    for (size_t s = 0; s < nodes.size() && s < model.sheets.size(); ++s) {
        const TemplateSheet& sheetModel = model.sheets[s];
        DesignSheet sheet;
        sheet.node = nodes[s];
        sheet.name = sheetModel.name;
        sheet.page = sheetModel.page;
        const std::vector<QString> detailIds = sheetModel.detailIds();
        const auto detailOrder = [&](const QString& id) {
            for (size_t i = 0; i < detailIds.size(); ++i)
                if (detailIds[i].compare(id, Qt::CaseInsensitive) == 0)
                    return int(i);
            return int(detailIds.size());
        };
        // Print order: (place, detail, place within the detail table, order among group levels).
        using Key = std::tuple<int, int, int, int>;
        std::vector<std::pair<Key, DesignBand>> bands;
        const auto addBand = [&](pugi::xml_node node, const TemplateBand& model, const QString& label, Key key) {
            DesignBand band;
            band.node = node;
            band.kind = model.kind;
            band.label = label;
            band.height = model.height;
            size_t k = 0;
            for (pugi::xml_node child : node.children()) {
                if (child.type() != pugi::node_element || k >= model.cells.size())
                    continue;
                DesignItem item;
                item.node = child;
                item.cell = model.cells[k++];
                const double height = item.cell.height > 0 ? item.cell.height : std::max(0.0, model.height - item.cell.y);
                item.rect = QRectF(item.cell.x, item.cell.y, item.cell.width, height);
                band.items.push_back(std::move(item));
            }
            bands.emplace_back(key, std::move(band));
        };
        size_t plain = 0;
        std::vector<std::pair<QString, size_t>> chainNext; // per group source, the next level of its chain
        int sequence = 0;
        const auto chainOf = [&](const QString& source) -> const std::vector<TemplateGroup>* {
            if (source.compare(u"Master", Qt::CaseInsensitive) == 0)
                return &sheetModel.masterGroups;
            for (const auto& [id, chain] : sheetModel.detailGroups)
                if (id.compare(source, Qt::CaseInsensitive) == 0)
                    return &chain;
            return nullptr;
        };
        const auto readGroup = [&](auto&& self, pugi::xml_node node, int depth) -> void {
            const QString source = QString::fromUtf8(node.attribute("source").value()).trimmed();
            const std::vector<TemplateGroup>* chain = chainOf(source);
            auto next = std::find_if(chainNext.begin(), chainNext.end(),
                                     [&](const auto& entry) { return entry.first.compare(source, Qt::CaseInsensitive) == 0; });
            if (next == chainNext.end()) {
                chainNext.emplace_back(source, 0);
                next = std::prev(chainNext.end());
            }
            if (!chain || next->second >= chain->size())
                return;
            const TemplateGroup& group = (*chain)[next->second++];
            const bool master = source.compare(u"Master", Qt::CaseInsensitive) == 0;
            const QString what = QStringLiteral("%1 by %2").arg(source, group.byText);
            for (pugi::xml_node child : node.children()) {
                const std::string_view name = child.name();
                if (child.type() != pugi::node_element)
                    continue;
                if (name == "group") {
                    self(self, child, depth + 1);
                    continue;
                }
                const bool header = name == "groupHeader";
                const std::vector<TemplateBand>& models = header ? group.headers : group.footers;
                if (models.empty() || (!header && name != "groupFooter"))
                    continue;
                const Key key = master ? Key{header ? 2 : 5, 0, 0, header ? depth : -depth}
                                       : Key{4, detailOrder(source), header ? 1 : 3, header ? depth : -depth};
                addBand(child, models.front(), bandLabel(name, what), key);
            }
        };
        for (pugi::xml_node child : nodes[s].children()) {
            if (child.type() != pugi::node_element)
                continue;
            const std::string_view name = child.name();
            if (name == "group") {
                readGroup(readGroup, child, 0);
            } else if (const auto kind = plainBandKind(name); kind && plain < sheetModel.bands.size()) {
                const TemplateBand& model = sheetModel.bands[plain++];
                Key key;
                switch (*kind) {
                case BandKind::Title: key = {0, 0, 0, sequence}; break;
                case BandKind::PageHeader: key = {1, 0, 0, sequence}; break;
                case BandKind::Master: key = {3, 0, 0, sequence}; break;
                case BandKind::DetailHeader: key = {4, detailOrder(model.detailId), 0, sequence}; break;
                case BandKind::Detail: key = {4, detailOrder(model.detailId), 2, sequence}; break;
                case BandKind::DetailFooter: key = {4, detailOrder(model.detailId), 4, sequence}; break;
                case BandKind::Summary: key = {6, 0, 0, sequence}; break;
                default: key = {7, 0, 0, sequence}; break;
                }
                addBand(child, model, bandLabel(name, model.detailId), key);
            }
            ++sequence;
        }
        std::stable_sort(bands.begin(), bands.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& entry : bands)
            sheet.bands.push_back(std::move(entry.second));
        sheets.push_back(std::move(sheet));
    }
}

DesignDocument::DesignDocument() : m_impl(std::make_unique<Impl>())
{
    m_impl->owner = this;
    connect(&m_impl->stack, &QUndoStack::cleanChanged, this, [this] { emit changed(); });
}

DesignDocument::~DesignDocument()
{
    // Its commands refer to the tree. Cleared quietly: a document going away has no changes to tell,
    // and its listeners may be gone already.
    m_impl->stack.blockSignals(true);
    m_impl->stack.clear();
}

ParseResult DesignDocument::open(const QString& path)
{
    ReportTemplate checked;
    ParseResult result = loadTemplateFile(path, checked);
    if (!result.ok)
        return result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ParseResult::failure(QStringLiteral("Template file \"%1\" cannot be read: %2").arg(path, file.errorString()));
    result = setText(file.readAll());
    if (result.ok) {
        m_impl->path = QFileInfo(path).absoluteFilePath();
        m_impl->refresh();
        emit changed();
    }
    return result;
}

ParseResult DesignDocument::setText(const QByteArray& xml)
{
    const std::string_view bytes(xml.constData(), size_t(xml.size()));
    ReportTemplate checked;
    if (ParseResult result = parseTemplate(bytes, checked); !result.ok)
        return result;
    auto tree = std::make_unique<pugi::xml_document>();
    const pugi::xml_parse_result parsed = tree->load_buffer(xml.constData(), size_t(xml.size()), TreeOptions, pugi::encoding_utf8);
    if (!parsed)
        return ParseResult::failure(QString::fromUtf8(parsed.description()));
    m_impl->stack.clear();
    m_impl->tree.reset(*tree);
    m_impl->path.clear();
    const ParseResult result = m_impl->refresh();
    emit changed();
    return result;
}

bool DesignDocument::save(const QString& path, QString& error)
{
    try {
        OutputFile file(QFile::encodeName(path).toStdString());
        file.write(m_impl->text);
        file.commit();
    } catch (const Exception& failure) {
        error = QString::fromStdString(failure.Message());
        return false;
    }
    m_impl->path = QFileInfo(path).absoluteFilePath();
    m_impl->refresh(); // relative pictures now start at the new folder
    m_impl->stack.setClean();
    emit changed();
    return true;
}

QByteArray DesignDocument::text() const
{
    return QByteArray::fromStdString(m_impl->text);
}

QString DesignDocument::path() const
{
    return m_impl->path;
}

bool DesignDocument::isModified() const
{
    return !m_impl->stack.isClean();
}

QUndoStack& DesignDocument::undoStack()
{
    return m_impl->stack;
}

const std::vector<DesignSheet>& DesignDocument::sheets() const
{
    return m_impl->sheets;
}

const ReportTemplate& DesignDocument::model() const
{
    return m_impl->model;
}

QString DesignDocument::changeAttributes(const std::vector<AttributeChange>& changes, const QString& what)
{
    std::vector<std::unique_ptr<Step>> steps;
    for (const AttributeChange& change : changes) {
        if (!change.node)
            continue;
        const std::string value = change.value.toStdString();
        if (change.name == QLatin1String(TextAttribute)) {
            const int count = int(std::distance(change.node.children().begin(), change.node.children().end()));
            if (count == 1 && change.node.first_child().type() == pugi::node_pcdata && value == change.node.first_child().value())
                continue;
            if (count == 0 && value.empty())
                continue;
            steps.push_back(std::make_unique<ChildrenStep>(change.node, 0, count, value.empty() ? std::string() : escapedText(value)));
        } else {
            std::optional<std::string> after;
            if (!change.value.isEmpty())
                after = value;
            steps.push_back(std::make_unique<AttributeStep>(change.node, change.name.toStdString(), std::move(after)));
        }
    }
    return m_impl->execute(what, std::move(steps));
}

QString DesignDocument::moveItems(const std::vector<pugi::xml_node>& items, double dx, double dy)
{
    std::vector<std::unique_ptr<Step>> steps;
    for (const pugi::xml_node& item : items) {
        const double x = std::max(0.0, item.attribute("x").as_double() + dx);
        const double y = std::max(0.0, item.attribute("y").as_double() + dy);
        steps.push_back(std::make_unique<AttributeStep>(item, "x", lengthText(x).toStdString()));
        steps.push_back(std::make_unique<AttributeStep>(item, "y", lengthText(y).toStdString()));
    }
    // Unchanged coordinates stay in, so that consecutive moves line up step for step and merge.
    const bool any = std::any_of(steps.begin(), steps.end(), [](const auto& step) { return static_cast<AttributeStep*>(step.get())->changes(); });
    if (!any)
        return {};
    return m_impl->execute(tr("Move"), std::move(steps), MoveCommandId);
}

QString DesignDocument::setGeometry(pugi::xml_node item, const QRectF& rect)
{
    std::vector<AttributeChange> changes{
        {item, QStringLiteral("x"), lengthText(rect.x())},
        {item, QStringLiteral("y"), lengthText(rect.y())},
        {item, QStringLiteral("width"), lengthText(rect.width())},
        {item, QStringLiteral("height"), rect.height() > 0 ? lengthText(rect.height()) : QString()},
    };
    return changeAttributes(changes, tr("Resize"));
}

QString DesignDocument::setBandHeight(pugi::xml_node band, double height)
{
    return changeAttributes({{band, QStringLiteral("height"), lengthText(height)}}, tr("Band height"));
}

QString DesignDocument::removeElements(const std::vector<pugi::xml_node>& nodes)
{
    // Inner nodes of a removed element go with it; the rest go last first, so earlier indices hold.
    std::vector<pugi::xml_node> kept;
    for (const pugi::xml_node& node : nodes) {
        bool inside = false;
        for (pugi::xml_node up = node.parent(); up && !inside; up = up.parent())
            inside = std::find(nodes.begin(), nodes.end(), up) != nodes.end();
        if (node && node.parent() && !inside && std::find(kept.begin(), kept.end(), node) == kept.end())
            kept.push_back(node);
    }
    std::vector<std::pair<Path, pugi::xml_node>> ordered;
    for (const pugi::xml_node& node : kept)
        ordered.emplace_back(pathOf(node), node);
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::unique_ptr<Step>> steps;
    for (const auto& [path, node] : ordered) {
        int index = childIndex(node);
        int count = 1;
        if (isWhitespace(node.previous_sibling())) {
            --index;
            ++count;
        }
        steps.push_back(std::make_unique<ChildrenStep>(node.parent(), index, count, std::string()));
    }
    return m_impl->execute(tr("Delete"), std::move(steps));
}

std::vector<pugi::xml_node> DesignDocument::insertElements(pugi::xml_node band, const QByteArray& fragment, QString& reason)
{
    std::vector<pugi::xml_node> made;
    pugi::xml_document parsed;
    if (!band || !parsed.load_buffer(fragment.constData(), size_t(fragment.size()), TreeOptions, pugi::encoding_utf8)) {
        reason = tr("The elements to insert are not well-formed XML.");
        return made;
    }
    const std::string bandIndent = indentOf(band, "    ");
    std::string itemIndent = bandIndent + "  ";
    for (pugi::xml_node child : band.children())
        if (child.type() == pugi::node_element) {
            itemIndent = indentOf(child, itemIndent);
            break;
        }
    std::string text;
    for (pugi::xml_node node : parsed.children())
        if (node.type() == pugi::node_element)
            text += "\n" + itemIndent + printed(node);
    if (text.empty()) {
        reason = tr("There is nothing to insert.");
        return made;
    }
    const int count = int(std::distance(band.children().begin(), band.children().end()));
    int index = count;
    if (count > 0 && isWhitespace(band.last_child()))
        --index; // before the closing tag's indentation
    else
        text += "\n" + bandIndent;
    std::vector<std::unique_ptr<Step>> steps;
    steps.push_back(std::make_unique<ChildrenStep>(band, index, 0, text));
    reason = m_impl->execute(tr("Insert"), std::move(steps), -1, &made);
    return made;
}

QByteArray DesignDocument::copyElements(const std::vector<pugi::xml_node>& nodes) const
{
    std::string text;
    for (const pugi::xml_node& node : nodes)
        if (node)
            text += printed(node);
    return QByteArray::fromStdString(text);
}

QString DesignDocument::addSheet(const QString& name)
{
    const std::vector<pugi::xml_node> sheets = m_impl->sheetNodes();
    const pugi::xml_node root = m_impl->root();
    const pugi::xml_node last = sheets.empty() ? pugi::xml_node() : sheets.back();
    const std::string indent = last ? indentOf(last, "  ") : std::string("  ");
    const std::string inner = indent + "  ";
    pugi::xml_document scratch;
    pugi::xml_node sheet = scratch.append_child("sheet");
    sheet.append_attribute("name").set_value(name.toStdString().c_str());
    pugi::xml_node page = sheet.append_child("page");
    page.append_attribute("size").set_value("A4");
    page.append_attribute("orientation").set_value("portrait");
    page.append_attribute("margins").set_value("15,15,15,15");
    pugi::xml_document bands;
    bands.load_string(NewSheetBands, TreeOptions);
    for (pugi::xml_node band : bands.children())
        sheet.append_copy(band);
    for (pugi::xml_node child = sheet.first_child(); child; child = child.next_sibling())
        sheet.insert_child_before(pugi::node_pcdata, child).set_value(("\n" + inner).c_str());
    sheet.append_child(pugi::node_pcdata).set_value(("\n" + indent).c_str());
    const std::string fragment = "\n" + indent + printed(sheet);
    int index;
    if (last) {
        index = childIndex(last) + 1;
    } else {
        index = int(std::distance(root.children().begin(), root.children().end()));
        if (index > 0 && isWhitespace(root.last_child()))
            --index;
    }
    std::vector<std::unique_ptr<Step>> steps;
    steps.push_back(std::make_unique<ChildrenStep>(root, index, 0, fragment));
    return m_impl->execute(tr("Add sheet"), std::move(steps));
}

QString DesignDocument::renameSheet(int index, const QString& name)
{
    const std::vector<pugi::xml_node> sheets = m_impl->sheetNodes();
    if (index < 0 || index >= int(sheets.size()))
        return tr("There is no sheet %1.").arg(index + 1);
    if (name.trimmed().isEmpty())
        return tr("A sheet needs a name.");
    return changeAttributes({{sheets[size_t(index)], QStringLiteral("name"), name}}, tr("Rename sheet"));
}

QString DesignDocument::removeSheet(int index)
{
    const std::vector<pugi::xml_node> sheets = m_impl->sheetNodes();
    if (index < 0 || index >= int(sheets.size()))
        return tr("There is no sheet %1.").arg(index + 1);
    if (sheets.size() == 1)
        return tr("A template keeps at least one sheet.");
    return removeElements({sheets[size_t(index)]});
}

QString DesignDocument::moveSheet(int from, int to)
{
    const std::vector<pugi::xml_node> sheets = m_impl->sheetNodes();
    const int count = int(sheets.size());
    if (from < 0 || from >= count || to < 0 || to >= count)
        return tr("There is no such sheet.");
    if (from == to)
        return {};
    // Each sheet moves with the indentation before it; everything else stays where it is.
    const pugi::xml_node root = m_impl->root();
    std::vector<int> unitStart(static_cast<size_t>(count)), unitSize(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const pugi::xml_node sheet = sheets[size_t(i)];
        const bool indented = isWhitespace(sheet.previous_sibling());
        unitStart[size_t(i)] = childIndex(sheet) - (indented ? 1 : 0);
        unitSize[size_t(i)] = indented ? 2 : 1;
    }
    std::vector<int> sheetOrder(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        sheetOrder[size_t(i)] = i;
    sheetOrder.erase(sheetOrder.begin() + from);
    sheetOrder.insert(sheetOrder.begin() + to, from);
    const int children = int(std::distance(root.children().begin(), root.children().end()));
    std::vector<int> order;
    int slot = 0;
    for (int i = 0; i < children;) {
        const auto unit = std::find(unitStart.begin(), unitStart.end(), i);
        if (unit == unitStart.end()) {
            order.push_back(i++);
            continue;
        }
        const int placed = sheetOrder[size_t(slot++)];
        for (int k = 0; k < unitSize[size_t(placed)]; ++k)
            order.push_back(unitStart[size_t(placed)] + k);
        i += unitSize[size_t(unit - unitStart.begin())];
    }
    std::vector<std::unique_ptr<Step>> steps;
    steps.push_back(std::make_unique<ReorderStep>(root, std::move(order)));
    return m_impl->execute(tr("Move sheet"), std::move(steps));
}

QString DesignDocument::setPageSetup(int sheet, const PageSetup& page)
{
    const std::vector<pugi::xml_node> sheets = m_impl->sheetNodes();
    if (sheet < 0 || sheet >= int(sheets.size()))
        return tr("There is no sheet %1.").arg(sheet + 1);
    const QSizeF portrait = page.landscape ? page.paper.transposed() : page.paper;
    QString sizeName;
    for (int id = 0; id <= QPageSize::LastPageSize && sizeName.isEmpty(); ++id) {
        const QPageSize candidate(static_cast<QPageSize::PageSizeId>(id));
        const QSizeF size = candidate.size(QPageSize::Millimeter);
        if (std::abs(size.width() - portrait.width()) < 0.05 && std::abs(size.height() - portrait.height()) < 0.05)
            sizeName = candidate.key();
    }
    const pugi::xml_node pageNode = sheets[size_t(sheet)].child("page");
    // A paper name already written and still right is kept as written ("a4" stays "a4").
    if (const QString written = QString::fromUtf8(pageNode.attribute("size").value()).trimmed(); !sizeName.isEmpty() && !written.isEmpty())
        if (written.compare(sizeName, Qt::CaseInsensitive) == 0)
            sizeName = QString::fromUtf8(pageNode.attribute("size").value());
    QString margins;
    if (page.marginLeft == page.marginTop && page.marginTop == page.marginRight && page.marginRight == page.marginBottom)
        margins = lengthText(page.marginLeft);
    else
        margins = QStringLiteral("%1,%2,%3,%4")
                      .arg(lengthText(page.marginLeft), lengthText(page.marginTop), lengthText(page.marginRight),
                           lengthText(page.marginBottom));
    const std::vector<std::pair<const char*, QString>> values{
        {"size", sizeName},
        {"width", sizeName.isEmpty() ? lengthText(portrait.width()) : QString()},
        {"height", sizeName.isEmpty() ? lengthText(portrait.height()) : QString()},
        {"orientation", page.landscape ? QStringLiteral("landscape") : QStringLiteral("portrait")},
        {"margins", margins},
    };
    if (pageNode) {
        std::vector<AttributeChange> changes;
        for (const auto& [name, value] : values)
            changes.push_back({pageNode, QString::fromLatin1(name), value});
        return changeAttributes(changes, tr("Page setup"));
    }
    pugi::xml_document scratch;
    pugi::xml_node made = scratch.append_child("page");
    for (const auto& [name, value] : values)
        if (!value.isEmpty())
            made.append_attribute(name).set_value(value.toStdString().c_str());
    const pugi::xml_node sheetNode = sheets[size_t(sheet)];
    const std::string indent = indentOf(sheetNode, "  ") + "  ";
    std::vector<std::unique_ptr<Step>> steps;
    steps.push_back(std::make_unique<ChildrenStep>(sheetNode, 0, 0, "\n" + indent + printed(made)));
    return m_impl->execute(tr("Page setup"), std::move(steps));
}

QString lengthText(double millimetres)
{
    const double rounded = std::round(millimetres * 100.0) / 100.0;
    QString text = QString::number(rounded == 0 ? 0.0 : rounded, 'f', 2);
    while (text.endsWith(u'0'))
        text.chop(1);
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

} // namespace vl::designer
