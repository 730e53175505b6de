// The page canvas driven as a user drives it: mouse drags, keys, the clipboard and a dropped field, each
// checked in the document it edits, and one look at what it paints.

#include "DesignCanvas.h"
#include "TestFiles.h"
#include "WidgetApplication.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <pugixml.hpp>

namespace
{

using vl::BandKind;
using vl::designer::DesignCanvas;
using vl::designer::DesignDocument;
using vl::designer::FieldMimeType;

// A tall band of three cells apart, for alignment, and a detail with its header, for field drops.
const char* const Loose = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<report version=\"1\">\n"
                          "  <sheet name=\"One\">\n"
                          "    <page size=\"A4\" margins=\"15\"/>\n"
                          "    <title height=\"20\">\n"
                          "      <cell x=\"0\" y=\"0\" width=\"10\" height=\"5\">A</cell>\n"
                          "      <cell x=\"30\" y=\"10\" width=\"20\" height=\"5\">B</cell>\n"
                          "      <cell x=\"100\" y=\"3\" width=\"10\" height=\"8\">C</cell>\n"
                          "    </title>\n"
                          "    <detailHeader detail=\"Detail\" height=\"7\">\n"
                          "      <cell x=\"0\" width=\"20\">No</cell>\n"
                          "    </detailHeader>\n"
                          "    <detail detail=\"Detail\" height=\"9\">\n"
                          "      <cell x=\"0\" width=\"20\">[Detail.No]</cell>\n"
                          "    </detail>\n"
                          "  </sheet>\n"
                          "</report>\n";

// Every element with its attributes and every non-blank text, in document order.
std::vector<std::string> content(const std::string& xml)
{
    pugi::xml_document document;
    EXPECT_TRUE(document.load_string(xml.c_str(), pugi::parse_default | pugi::parse_comments));
    std::vector<std::string> items;
    struct Walker : pugi::xml_tree_walker {
        std::vector<std::string>* items;
        bool for_each(pugi::xml_node& node) override
        {
            std::string item = std::string(node.name()) + " " + node.value();
            for (pugi::xml_attribute attribute : node.attributes())
                item += std::string(" ") + attribute.name() + "=" + attribute.value();
            items->push_back(item);
            return true;
        }
    } walker;
    walker.items = &items;
    document.traverse(walker);
    return items;
}

class DesignCanvasTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { application = vl::test::ensureWidgetApplication("designer_tests"); }
    static void TearDownTestSuite()
    {
        delete application;
        application = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(document.open(QStringLiteral(VL_SOURCE_DIR "/samples/test.vld")).ok);
        makeCanvas();
    }

    void makeCanvas()
    {
        canvas = std::make_unique<DesignCanvas>(document);
        canvas->resize(1000, 900);
        canvas->show();
        QApplication::processEvents();
    }

    void load(const char* xml)
    {
        canvas.reset();
        ASSERT_TRUE(document.setText(QByteArray(xml)).ok);
        makeCanvas();
    }

    pugi::xml_node band(BandKind kind) const
    {
        for (const auto& band : document.sheets().front().bands)
            if (band.kind == kind)
                return band.node;
        return {};
    }

    double bandHeight(BandKind kind) const
    {
        for (const auto& band : document.sheets().front().bands)
            if (band.kind == kind)
                return band.height;
        return -1;
    }

    size_t itemCount(BandKind kind) const
    {
        for (const auto& band : document.sheets().front().bands)
            if (band.kind == kind)
                return band.items.size();
        return 0;
    }

    // The item of the band whose text is `text`.
    pugi::xml_node item(BandKind kind, const char* text) const
    {
        for (const auto& band : document.sheets().front().bands)
            if (band.kind == kind)
                for (const auto& item : band.items)
                    if (std::string_view(item.node.text().get()) == text)
                        return item.node;
        return {};
    }

    QRectF rect(pugi::xml_node node) const
    {
        for (const auto& band : document.sheets().front().bands)
            for (const auto& item : band.items)
                if (item.node == node)
                    return item.rect;
        return {};
    }

    QPoint at(BandKind kind, QPointF millimetres) const { return canvas->viewportPoint(band(kind), millimetres); }
    // A distance in whole pixels at the canvas's zoom, so that a drag covers what the case says to a pixel.
    QPoint pixels(QPointF millimetres) const
    {
        const double scale = canvas->zoom() * 96 / 25.4;
        return QPoint(int(std::lround(millimetres.x() * scale)), int(std::lround(millimetres.y() * scale)));
    }

    // Through QTest, as a user's mouse; QTest's moves carry no modifiers, so a move with Alt held is sent as
    // the window system would send it.
    void mouse(QEvent::Type type, QPoint point, Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = {})
    {
        QWidget* viewport = canvas->viewport();
        if (type == QEvent::MouseButtonPress)
            return QTest::mousePress(viewport, Qt::LeftButton, modifiers, point);
        if (type == QEvent::MouseButtonRelease)
            return QTest::mouseRelease(viewport, Qt::LeftButton, modifiers, point);
        if (modifiers == Qt::NoModifier)
            return QTest::mouseMove(viewport, point);
        QMouseEvent event(type, QPointF(point), viewport->mapToGlobal(QPointF(point)), Qt::NoButton, buttons, modifiers);
        QApplication::sendEvent(viewport, &event);
    }

    // Press, two moves, release: the modifiers are those of the release, as a user lets go with Alt held.
    void drag(QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = {})
    {
        mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
        mouse(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
        mouse(QEvent::MouseMove, to, Qt::LeftButton, modifiers);
        mouse(QEvent::MouseButtonRelease, to, Qt::NoButton, modifiers);
    }

    void click(QPoint point, Qt::KeyboardModifiers modifiers = {})
    {
        mouse(QEvent::MouseButtonPress, point, Qt::LeftButton, modifiers);
        mouse(QEvent::MouseButtonRelease, point, Qt::NoButton, modifiers);
    }

    void key(int key, Qt::KeyboardModifiers modifiers = {}) { QTest::keyPress(canvas.get(), Qt::Key(key), modifiers); }

    static QApplication* application;
    DesignDocument document;
    std::unique_ptr<DesignCanvas> canvas;
};

QApplication* DesignCanvasTest::application = nullptr;

TEST_F(DesignCanvasTest, DraggedCellChangesOnlyItsXThroughUndoRedoAndSave)
{
    const pugi::xml_node name = item(BandKind::Detail, "[Detail.EmpName]");
    ASSERT_TRUE(name);
    const int steps = document.undoStack().index();
    drag(at(BandKind::Detail, { 60, 4 }), at(BandKind::Detail, { 70, 4 }));
    EXPECT_EQ(rect(name).x(), 65);
    EXPECT_EQ(document.undoStack().index(), steps + 1); // the moves in between made no steps
    document.undoStack().undo();
    EXPECT_EQ(rect(name).x(), 55);
    document.undoStack().redo();
    EXPECT_EQ(rect(name).x(), 65);
    EXPECT_EQ(canvas->selection(), std::vector<pugi::xml_node> { name }); // its node lives on through both

    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(QStringLiteral("moved.vld"));
    QString error;
    ASSERT_TRUE(document.save(path, error)) << error.toStdString();
    const std::vector<std::string> before = content(vl::test::readBytes(VL_SOURCE_DIR "/samples/test.vld"));
    const std::vector<std::string> after = content(vl::test::readBytes(path.toStdString()));
    ASSERT_EQ(before.size(), after.size());
    std::vector<size_t> differing;
    for (size_t index = 0; index < before.size(); ++index)
        if (before[index] != after[index])
            differing.push_back(index);
    ASSERT_EQ(differing.size(), 1u);
    std::string expected = before[differing.front()];
    expected.replace(expected.find(" x=55 "), 6, " x=65 ");
    EXPECT_EQ(after[differing.front()], expected);

    // Byte for byte: the sample as written by hand, but for that one attribute.
    std::string original = vl::test::readBytes(VL_SOURCE_DIR "/samples/test.vld");
    const std::string cell = "<cell x=\"55\" width=\"30\">[Detail.EmpName]</cell>";
    ASSERT_NE(original.find(cell), std::string::npos);
    original.replace(original.find(cell), cell.size(), "<cell x=\"65\" width=\"30\">[Detail.EmpName]</cell>");
    EXPECT_EQ(vl::test::readBytes(path.toStdString()), original);
}

TEST_F(DesignCanvasTest, DragsSnapToTheGridUnlessAltIsHeldAndStayInTheBand)
{
    struct Case {
        const char* what;
        QPointF by; // mm, in whole pixels: 10.4 mm is 39 pixels or 10.32 mm at 96 dpi
        Qt::KeyboardModifiers modifiers;
        QPointF expected; // where the cell at 90, 2 lands; NaN: anywhere but on the grid
    };
    const double free = std::nan("");
    const Case cases[] = {
        { "10.4 mm right lands on the grid", { -10.4, 0 }, {}, { 80, 2 } },
        { "with Alt it lands where dropped", { -10.4, 0 }, Qt::AltModifier, { free, 2 } },
        { "down 5.3 mm", { 0, 5.3 }, {}, { 90, 7 } },
        { "past the left edge stops at 0", { -200, 0 }, {}, { 0, 2 } },
        { "past the right edge stays put", { 30, 0 }, {}, { 90, 2 } },
        { "below the band stops at its bottom", { 0, 300 }, {}, { 90, 93 } },
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        const pugi::xml_node cell = item(BandKind::Summary, "工资总额：[sum(Detail.Salary)]");
        ASSERT_TRUE(cell);
        const QPointF grip(120, 5);
        const QPoint from = at(BandKind::Summary, grip);
        drag(from, from + pixels(test.by), test.modifiers);
        const QRectF moved = rect(cell);
        if (std::isnan(test.expected.x())) {
            EXPECT_NE(moved.x(), std::round(moved.x()));
            EXPECT_NEAR(moved.x(), 90 + pixels(test.by).x() * 25.4 / 96, 0.01);
        } else {
            EXPECT_EQ(moved.x(), test.expected.x());
        }
        EXPECT_EQ(moved.y(), test.expected.y());
        if (moved.topLeft() != QPointF(90, 2))
            document.undoStack().undo();
        ASSERT_EQ(rect(cell).topLeft(), QPointF(90, 2));
    }
}

TEST_F(DesignCanvasTest, ArrowKeysNudgeByAMillimetreOrATenthWithShift)
{
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        QPointF by;
    };
    const Case cases[] = { { Qt::Key_Right, {}, { 1, 0 } }, { Qt::Key_Right, Qt::ShiftModifier, { 0.1, 0 } },
        { Qt::Key_Down, {}, { 0, 1 } }, { Qt::Key_Left, Qt::ShiftModifier, { -0.1, 0 } },
        { Qt::Key_Up, {}, { 0, -1 } } };
    const pugi::xml_node cell = item(BandKind::Summary, "员工总数：[count(Detail)]");
    canvas->select({ cell });
    for (const Case& test : cases) {
        SCOPED_TRACE(test.key);
        const QPointF before = rect(cell).topLeft();
        key(test.key, test.modifiers);
        EXPECT_NEAR(rect(cell).x(), before.x() + test.by.x(), 1e-9);
        EXPECT_NEAR(rect(cell).y(), before.y() + test.by.y(), 1e-9);
        EXPECT_EQ(canvas->selection(), std::vector<pugi::xml_node> { cell });
    }
}

TEST_F(DesignCanvasTest, ClicksAndRubberBandsSelect)
{
    const pugi::xml_node number = item(BandKind::DetailHeader, "工号");
    const pugi::xml_node code = item(BandKind::DetailHeader, "条码");
    const pugi::xml_node name = item(BandKind::DetailHeader, "姓名");
    click(at(BandKind::DetailHeader, { 5, 3 }));
    EXPECT_EQ(canvas->selection(), std::vector<pugi::xml_node> { number });
    click(at(BandKind::DetailHeader, { 30, 3 }), Qt::ShiftModifier);
    EXPECT_EQ(canvas->selection(), (std::vector<pugi::xml_node> { number, code }));
    click(at(BandKind::DetailHeader, { 5, 3 }), Qt::ShiftModifier);
    EXPECT_EQ(canvas->selection(), std::vector<pugi::xml_node> { code });

    // From the band-name gutter, where nothing is, over what the band touches.
    const QPoint gutter = at(BandKind::DetailHeader, { -20, 3 });
    drag(gutter, at(BandKind::DetailHeader, { 60, 4 }));
    EXPECT_EQ(canvas->selection(), (std::vector<pugi::xml_node> { number, code, name }));
    drag(gutter, at(BandKind::Detail, { 30, 4 }));
    EXPECT_EQ(canvas->selection().size(), 4u); // two of the header, the number and barcode of the detail
    click(gutter);
    EXPECT_TRUE(canvas->selection().empty());
}

TEST_F(DesignCanvasTest, HandlesResizeSnappedAndNeverBelowTheLeastWidth)
{
    const pugi::xml_node name = item(BandKind::Detail, "[Detail.EmpName]"); // 55, 0, 30 x 9
    canvas->select({ name });
    drag(at(BandKind::Detail, { 85, 4.5 }), at(BandKind::Detail, { 92.3, 4.5 })); // the right edge's handle
    EXPECT_EQ(rect(name), QRectF(55, 0, 37, 9));
    drag(at(BandKind::Detail, { 92, 9 }), at(BandKind::Detail, { 80, 30 })); // bottom right, below the band
    EXPECT_EQ(rect(name), QRectF(55, 0, 25, 9));
    drag(at(BandKind::Detail, { 55, 4.5 }), at(BandKind::Detail, { 150, 4.5 })); // the left edge past the right
    EXPECT_NEAR(rect(name).width(), vl::MinCellWidth, 1e-9);
    EXPECT_NEAR(rect(name).right(), 80, 1e-9);
    document.undoStack().undo();
    EXPECT_EQ(rect(name), QRectF(55, 0, 25, 9));
}

TEST_F(DesignCanvasTest, BandEdgeDragSetsTheHeightSnappedToAMillimetreAtLeast)
{
    ASSERT_EQ(bandHeight(BandKind::Detail), 9);
    drag(at(BandKind::Detail, { 50, 9 }), at(BandKind::Detail, { 50, 14.4 }));
    EXPECT_EQ(bandHeight(BandKind::Detail), 14);
    drag(at(BandKind::Detail, { 50, 14 }), at(BandKind::Detail, { 50, -30 }));
    EXPECT_EQ(bandHeight(BandKind::Detail), 1);
    document.undoStack().undo();
    document.undoStack().undo();
    EXPECT_EQ(bandHeight(BandKind::Detail), 9);
}

TEST_F(DesignCanvasTest, AlignAndDistributeInOneStep)
{
    load(Loose);
    const pugi::xml_node a = item(BandKind::Title, "A"), b = item(BandKind::Title, "B"), c = item(BandKind::Title, "C");
    struct Case {
        const char* what;
        std::function<void(DesignCanvas&)> act;
        QPointF a, b, c; // top left corners after
    };
    const Case cases[] = {
        { "left", [](DesignCanvas& canvas) { canvas.alignSelection(Qt::LeftEdge); }, { 0, 0 }, { 0, 10 }, { 0, 3 } },
        { "right", [](DesignCanvas& canvas) { canvas.alignSelection(Qt::RightEdge); }, { 100, 0 }, { 90, 10 },
            { 100, 3 } },
        { "top", [](DesignCanvas& canvas) { canvas.alignSelection(Qt::TopEdge); }, { 0, 0 }, { 30, 0 }, { 100, 0 } },
        { "bottom", [](DesignCanvas& canvas) { canvas.alignSelection(Qt::BottomEdge); }, { 0, 10 }, { 30, 10 },
            { 100, 7 } },
        // 110 mm between the outer edges, 40 of cells: gaps of 35.
        { "horizontally", [](DesignCanvas& canvas) { canvas.distributeSelection(Qt::Horizontal); }, { 0, 0 },
            { 45, 10 }, { 100, 3 } },
        // A (0..5), C (3..11), B (10..15): 15 mm, 18 of cells, gaps of -1.5.
        { "vertically", [](DesignCanvas& canvas) { canvas.distributeSelection(Qt::Vertical); }, { 0, 0 }, { 30, 10 },
            { 100, 3.5 } },
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.what);
        canvas->select({ a, b, c });
        const int steps = document.undoStack().index();
        test.act(*canvas);
        EXPECT_EQ(rect(a).topLeft(), test.a);
        EXPECT_EQ(rect(b).topLeft(), test.b);
        EXPECT_EQ(rect(c).topLeft(), test.c);
        EXPECT_EQ(document.undoStack().index(), steps + 1);
        document.undoStack().undo();
        ASSERT_EQ(rect(b).topLeft(), QPointF(30, 10));
    }
    canvas->select({ a, b });
    const int steps = document.undoStack().index();
    canvas->distributeSelection(Qt::Horizontal); // two have nothing between them
    EXPECT_EQ(document.undoStack().index(), steps);
}

TEST_F(DesignCanvasTest, CopyPasteCutAndDeleteUndo)
{
    const pugi::xml_node name = item(BandKind::Detail, "[Detail.EmpName]");
    canvas->select({ name });
    key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(QApplication::clipboard()->text().contains(QStringLiteral("[Detail.EmpName]")));
    key(Qt::Key_V, Qt::ControlModifier);
    ASSERT_EQ(itemCount(BandKind::Detail), 7u);
    ASSERT_EQ(canvas->selection().size(), 1u);
    const pugi::xml_node copy = canvas->selection().front();
    EXPECT_NE(copy, name);
    EXPECT_STREQ(copy.text().get(), "[Detail.EmpName]");
    EXPECT_EQ(rect(copy).x(), 57); // beside its original, not over it
    document.undoStack().undo();
    EXPECT_EQ(itemCount(BandKind::Detail), 6u);
    EXPECT_TRUE(canvas->selection().empty()); // the pasted node is gone

    canvas->select({ name });
    key(Qt::Key_Delete);
    EXPECT_EQ(itemCount(BandKind::Detail), 5u);
    EXPECT_TRUE(canvas->selection().empty());
    document.undoStack().undo();
    EXPECT_EQ(itemCount(BandKind::Detail), 6u);

    const pugi::xml_node restored = item(BandKind::Detail, "[Detail.EmpName]");
    canvas->select({ restored });
    key(Qt::Key_X, Qt::ControlModifier);
    EXPECT_FALSE(item(BandKind::Detail, "[Detail.EmpName]"));
    canvas->select({ item(BandKind::Detail, "[Detail.Sex]") });
    key(Qt::Key_V, Qt::ControlModifier); // into the selected item's band, where it was: nothing hides
    const pugi::xml_node back = item(BandKind::Detail, "[Detail.EmpName]");
    ASSERT_TRUE(back);
    EXPECT_EQ(rect(back).x(), 55);
}

TEST_F(DesignCanvasTest, APasteTheEngineWouldRefuseIsToldAndMakesNothing)
{
    QStringList told;
    QObject::connect(canvas.get(), &DesignCanvas::editRefused, [&](const QString& reason) { told << reason; });
    auto* data = new QMimeData;
    data->setData(QStringLiteral("application/x-vldesigner-elements"), "<cell x=\"1\">no width</cell>");
    QApplication::clipboard()->setMimeData(data);
    canvas->select({ item(BandKind::Detail, "[Detail.EmpName]") });
    const QByteArray before = document.text();
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(document.text(), before);
    EXPECT_EQ(document.undoStack().count(), 0);
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told.front().contains(QStringLiteral("needs a width"))) << told.front().toStdString();
}

TEST_F(DesignCanvasTest, DroppedFieldMakesABoundCellAndItsHeaderInOneStep)
{
    const auto drop = [this](BandKind kind, QPointF millimetres, const char* field) {
        QMimeData data;
        data.setData(QString::fromLatin1(FieldMimeType), QByteArray(field));
        const QPointF point = at(kind, millimetres);
        QDragEnterEvent enter(point.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(canvas->viewport(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(point, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(canvas->viewport(), &dropped);
    };
    const int steps = document.undoStack().index();
    drop(BandKind::Detail, { 140.3, 1.2 }, "Detail.Bonus");
    const pugi::xml_node cell = item(BandKind::Detail, "[Detail.Bonus]");
    const pugi::xml_node header = item(BandKind::DetailHeader, "Bonus");
    ASSERT_TRUE(cell);
    ASSERT_TRUE(header);
    EXPECT_EQ(rect(cell), QRectF(140, 1, 30, 6));
    EXPECT_EQ(rect(header).x(), 140);
    EXPECT_EQ(document.undoStack().index(), steps + 1);
    document.undoStack().undo();
    EXPECT_FALSE(item(BandKind::Detail, "[Detail.Bonus]"));
    EXPECT_FALSE(item(BandKind::DetailHeader, "Bonus"));

    const size_t headers = itemCount(BandKind::DetailHeader);
    drop(BandKind::Summary, { 178, 99 }, "Master.DeptName"); // kept inside the strip and the band
    const pugi::xml_node summary = item(BandKind::Summary, "[Master.DeptName]");
    ASSERT_TRUE(summary);
    EXPECT_EQ(rect(summary), QRectF(150, 94, 30, 6));
    EXPECT_EQ(itemCount(BandKind::DetailHeader), headers);

    // What is no single field makes nothing, not even an empty undo step.
    const int before = document.undoStack().index();
    const size_t details = itemCount(BandKind::Detail);
    for (const char* field : { "Detail.", "Detail.Bonus]x", "Salary" })
        drop(BandKind::Detail, { 100, 1 }, field);
    EXPECT_EQ(document.undoStack().index(), before);
    EXPECT_EQ(itemCount(BandKind::Detail), details);
    EXPECT_EQ(itemCount(BandKind::DetailHeader), headers);
}

TEST_F(DesignCanvasTest, ZoomKeepsGeometry)
{
    const pugi::xml_node name = item(BandKind::Detail, "[Detail.EmpName]");
    const struct {
        double asked, got;
    } zooms[] = { { 2.5, 2.5 }, { 100, 8 }, { 0.01, 0.25 }, { 1.5, 1.5 } };
    for (const auto& zoom : zooms) {
        canvas->setZoom(zoom.asked);
        EXPECT_EQ(canvas->zoom(), zoom.got);
        QPointF millimetres;
        EXPECT_EQ(canvas->bandAt(at(BandKind::Detail, { 60, 4 }), &millimetres), band(BandKind::Detail));
        const double pixel = 25.4 / 96 / zoom.got;
        EXPECT_NEAR(millimetres.x(), 60, pixel);
        EXPECT_NEAR(millimetres.y(), 4, pixel);
    }
    drag(at(BandKind::Detail, { 60, 4 }), at(BandKind::Detail, { 70, 4 }));
    EXPECT_EQ(rect(name).x(), 65);

    canvas->setZoom(2); // large enough to scroll both ways
    const QPoint point = at(BandKind::Detail, { 60, 4 });
    QWheelEvent wheel(QPointF(point), canvas->viewport()->mapToGlobal(QPointF(point)), {}, { 0, 120 }, Qt::NoButton,
        Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas->viewport(), &wheel);
    EXPECT_GT(canvas->zoom(), 2);
    QPointF millimetres;
    canvas->bandAt(point, &millimetres); // the point under the pointer stays
    EXPECT_NEAR(millimetres.x(), 60, 0.5);
}

TEST_F(DesignCanvasTest, PaintsTheCellsTextWithTheEnginesPainter)
{
    const QImage image = canvas->viewport()->grab().toImage();
    ASSERT_FALSE(image.isNull());
    int dark = 0;
    // The middle of the title "部门员工名单", 18 pt bold centred across 180 mm.
    const QRect title = QRect(at(BandKind::Title, { 60, 2 }), at(BandKind::Title, { 120, 12 }));
    for (int y = title.top(); y <= title.bottom(); ++y)
        for (int x = title.left(); x <= title.right(); ++x)
            if (qGray(image.pixel(x, y)) < 100)
                ++dark;
    EXPECT_GT(dark, 100);
    int white = 0;
    const QRect empty = QRect(at(BandKind::Title, { 60, 22 }), at(BandKind::Title, { 120, 23 }));
    for (int y = empty.top(); y <= empty.bottom(); ++y)
        for (int x = empty.left(); x <= empty.right(); ++x)
            if (image.pixel(x, y) == qRgb(255, 255, 255))
                ++white;
    EXPECT_GT(white, empty.width() * empty.height() / 2); // the strip is paper, not the workspace
}

} // namespace
