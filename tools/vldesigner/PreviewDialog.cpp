#include "PreviewDialog.h"

#include "ReportPainter.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace vl::designer {

namespace {
constexpr double PixelsPerMm = 96.0 / 25.4;
}

class PreviewDialog::PageView : public QWidget {
public:
    explicit PageView(PreviewDialog& owner) : m_owner(owner) {}
    void setPaper(QSizeF paper)
    {
        setFixedSize((paper * PixelsPerMm).toSize());
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        paintPage(painter, m_owner.currentPage(), QPointF(0, 0), PixelsPerMm);
    }

private:
    PreviewDialog& m_owner;
};

PreviewDialog::PreviewDialog(const ReportTemplate& report, int sheet, const ReportDataSet& data, QWidget* parent)
    : QDialog(parent), m_sheet(report.sheets.at(size_t(sheet))), m_data(data)
{
    setWindowTitle(tr("Preview of %1").arg(m_sheet.name));
    LayoutHooks hooks;
    for (const TemplateParameter& parameter : report.parameters)
        hooks.parameters.insert(parameter.name.toLower(), parameter.defaultValue);
    m_layouter = std::make_unique<ReportLayouter>(m_sheet, m_data, hooks);

    m_view = new PageView(*this);
    auto* scroll = new QScrollArea;
    scroll->setWidget(m_view);
    scroll->setBackgroundRole(QPalette::Dark);
    m_position = new QLabel;
    m_position->setObjectName(QStringLiteral("position"));
    auto* buttons = new QHBoxLayout;
    const std::pair<const char*, std::function<int()>> moves[] = {
        {"First", [] { return 0; }},
        {"Previous", [this] { return m_page - 1; }},
        {"Next", [this] { return m_page + 1; }},
        {"Last", [this] {
             m_layouter->layoutUntil(std::numeric_limits<int>::max());
             return m_layouter->pageCount() - 1;
         }},
    };
    for (const auto& [name, target] : moves) {
        auto* button = new QPushButton(tr(name));
        button->setObjectName(QString::fromLatin1(name).toLower());
        connect(button, &QPushButton::clicked, this, [this, target = target] { showPage(target()); });
        buttons->addWidget(button);
    }
    buttons->addStretch();
    buttons->addWidget(m_position);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(scroll);
    resize(900, 1000);
    showPage(0);
}

PreviewDialog::~PreviewDialog() = default;

int PreviewDialog::pageCount() const
{
    return m_layouter->pageCount();
}

void PreviewDialog::showPage(int index)
{
    m_layouter->layoutUntil(std::max(index, 0) + 1);
    m_page = std::clamp(index, 0, std::max(m_layouter->pageCount() - 1, 0));
    m_current = m_layouter->pageCount() > 0 ? m_layouter->page(m_page) : LaidOutPage{};
    m_position->setText(m_layouter->done() ? tr("Page %1 of %2").arg(m_page + 1).arg(m_layouter->pageCount())
                                           : tr("Page %1").arg(m_page + 1));
    m_view->setPaper(m_layouter->pageSetup().paper);
}

} // namespace vl::designer
