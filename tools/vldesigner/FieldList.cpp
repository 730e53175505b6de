#include "FieldList.h"

#include "DesignCanvas.h"
#include "ReportData.h"

#include <QMimeData>

namespace vl::designer {

FieldList::FieldList(QWidget* parent) : QListWidget(parent)
{
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void FieldList::setData(const ReportDataSet& data)
{
    clear();
    for (const QString& field : data.masterFieldNames)
        addItem(QStringLiteral("Master.") + field);
    for (const DetailTable& detail : data.details)
        for (const QString& field : detail.fieldNames)
            if (!field.startsWith(QLatin1String("__"))) // the document's own bookkeeping, as __MasterIdx
                addItem(detail.id + u'.' + field);
}

QStringList FieldList::mimeTypes() const
{
    return {QString::fromLatin1(FieldMimeType), QStringLiteral("text/plain")};
}

QMimeData* FieldList::mimeData(const QList<QListWidgetItem*>& items) const
{
    if (items.isEmpty())
        return nullptr;
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(FieldMimeType), items.front()->text().toUtf8());
    mime->setText(QStringLiteral("[%1]").arg(items.front()->text()));
    return mime;
}

} // namespace vl::designer
