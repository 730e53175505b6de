#pragma once
// The field list: the fields of the loaded data document, as Master.X and DetailID.X, each draggable onto
// the canvas as DesignCanvas::FieldMimeType.

#include <QListWidget>

namespace vl {
struct ReportDataSet;
}

namespace vl::designer {

class FieldList : public QListWidget {
    Q_OBJECT
public:
    explicit FieldList(QWidget* parent = nullptr);
    // Lists the fields of the data; an empty data set empties the list.
    void setData(const ReportDataSet& data);

protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
};

} // namespace vl::designer
