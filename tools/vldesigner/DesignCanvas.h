#pragma once
// The page canvas of the designer: a sheet's bands stacked in print order, each a strip with its name
// and height, its items drawn by the engine's painter, a millimetre ruler and grid, zoom; selection and
// editing with the mouse and the keyboard, every change made through the document's undoable edits.

#include "DesignDocument.h"

#include <QAbstractScrollArea>

namespace vl::designer {

// The MIME type of a field dragged from the field list: its text is "Source.Field" ("Detail.Salary").
inline constexpr char FieldMimeType[] = "application/x-vldesigner-field";

class DesignCanvas : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit DesignCanvas(DesignDocument& document, QWidget* parent = nullptr);
    ~DesignCanvas() override;

    void setSheet(int index);
    int sheet() const;
    void setZoom(double factor); // 1: the paper at its real size on a 96 dpi screen; 0.25 to 8
    double zoom() const;

    const std::vector<pugi::xml_node>& selection() const;
    void select(const std::vector<pugi::xml_node>& nodes);

    // Where a point of a band (mm from the band's top left) is in the viewport's coordinates, and back;
    // for tests that drive the mouse. A null band: the point is outside every band.
    QPoint viewportPoint(pugi::xml_node band, QPointF millimetres) const;
    pugi::xml_node bandAt(QPoint viewportPoint, QPointF* millimetres = nullptr) const;

public slots:
    void copySelection();
    void cutSelection();
    void paste();
    void deleteSelection();
    void alignSelection(Qt::Edge edge);
    void distributeSelection(Qt::Orientation orientation);

signals:
    void selectionChanged();
    void zoomChanged(double factor);
    // An edit asked for with the mouse or the keyboard that the document refused, with its reason.
    void editRefused(const QString& reason);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace vl::designer
