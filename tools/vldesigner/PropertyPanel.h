#pragma once
// The property panel: the attributes of the canvas's selection (one item: all of them; several: the
// geometry they share) or, with nothing selected, of a band of the sheet and of the group it belongs to.
// Each field commits on Enter or when it loses focus, through the document's undoable edits; text that
// holds expressions is checked with the engine's parser as it is typed, and a field whose text the engine
// refuses shows why in red beside it and changes nothing.

#include "DesignCanvas.h"

#include <QWidget>

class QFormLayout;
class QComboBox;

namespace vl::designer {

class PropertyPanel : public QWidget {
    Q_OBJECT
public:
    // Both must outlive the panel.
    PropertyPanel(DesignDocument& document, DesignCanvas& canvas, QWidget* parent = nullptr);
    ~PropertyPanel() override;

    // With nothing selected, the band shown (index into the sheet's bands in print order).
    void setBand(int index);
    int band() const { return m_band; }

public slots:
    void rebuild();

private:
    std::vector<pugi::xml_node> liveSelection() const;
    void addField(QFormLayout& form, const QString& attribute, const std::vector<pugi::xml_node>& nodes, int kind);
    void commit(const QString& attribute, const QString& value, const std::vector<pugi::xml_node>& nodes, QWidget* field);

    DesignDocument& m_document;
    DesignCanvas& m_canvas;
    QWidget* m_content = nullptr;
    int m_band = 0;
};

} // namespace vl::designer
