// Pictures.Insert, Shapes.AddPicture and the pictures they add. The sheet's
// drawing (ooxml/sheet_drawing.h) keeps the pictures; a picture handle names
// its sheet and its object id.

#include <cmath>

#include "engine/engine_handles.h"
#include "ooxml/picture_probe.h"
#include "sheet/picture.h"
#include "value/runtime_error.h"

namespace kbx::engine {

namespace {

void checkFinite(double value, const char* what) {
    if (!std::isfinite(value)) raiseSpreadsheet(std::string("The picture's ") + what + " is not a number.");
}

class PictureHandle final : public sheet::Picture {
public:
    PictureHandle(const SheetRef& sheet, uint32_t id) : sheet_(sheet), id_(id) {}

    double Top() const override { return rect().top; }
    double Left() const override { return rect().left; }
    double Width() const override { return rect().width; }
    double Height() const override { return rect().height; }

    void SetTop(double points) override {
        checkFinite(points, "top");
        ooxml::PointRect r = rect();
        r.top = points;
        move(r);
    }

    void SetLeft(double points) override {
        checkFinite(points, "left");
        ooxml::PointRect r = rect();
        r.left = points;
        move(r);
    }

    void Select() override {
        EngineWorksheet& sheet = sheet_.sheet();
        anchor(sheet);
        sheet_.root().select({sheet.workbook().id(), sheet.id(), 0, 0, id_});
    }

    void Cut() override {
        EngineWorksheet& sheet = sheet_.sheet();
        anchor(sheet);
        sheet.drawing().removePicture(sheet.workbook().package(), sheet.model(), id_);
        sheet_.root().clearSelection();
    }

    void SetPlacement(int32_t placement) override {
        if (placement < 1 || placement > 3)
            raiseSpreadsheet("Placement " + std::to_string(placement) + " is not 1, 2 or 3.");
        EngineWorksheet& sheet = sheet_.sheet();
        ooxml::ObjectAnchor changed = anchor(sheet);
        changed.setPlacement(ooxml::SheetGrid(sheet.model()), static_cast<ooxml::Placement>(placement));
        sheet.drawing().setAnchor(sheet.workbook().package(), sheet.model(), id_, changed);
    }

    int32_t Placement() const override { return static_cast<int32_t>(anchor(sheet_.sheet()).placement()); }

private:
    // The picture's anchor; a picture that was cut raises 1004.
    const ooxml::ObjectAnchor& anchor(EngineWorksheet& sheet) const {
        const ooxml::ObjectAnchor* anchor = sheet.drawing().anchorOf(id_);
        if (anchor == nullptr) raiseSpreadsheet("The picture has been removed from the sheet.");
        return *anchor;
    }

    ooxml::PointRect rect() const {
        EngineWorksheet& sheet = sheet_.sheet();
        return anchor(sheet).rect(ooxml::SheetGrid(sheet.model()));
    }

    void move(const ooxml::PointRect& r) {
        EngineWorksheet& sheet = sheet_.sheet();
        ooxml::ObjectAnchor changed = anchor(sheet);
        changed.setRect(ooxml::SheetGrid(sheet.model()), r);
        sheet.drawing().setAnchor(sheet.workbook().package(), sheet.model(), id_, changed);
    }

    SheetRef sheet_;
    uint32_t id_;
};

// Pictures that are added start moving, not sizing, with their cells.
std::shared_ptr<sheet::Picture> addPicture(const SheetRef& ref, const std::string& path,
                                           const ooxml::PictureFile& file, const ooxml::PointRect& rect) {
    EngineWorksheet& sheet = ref.sheet();
    const uint32_t id = sheet.drawing().addPicture(sheet.workbook().package(), sheet.model(), file, path, rect,
                                                   ooxml::Placement::Move);
    return pictureHandle(ref, id);
}

}  // namespace

std::shared_ptr<sheet::Picture> pictureHandle(const SheetRef& sheet, uint32_t picture) {
    return std::make_shared<PictureHandle>(sheet, picture);
}

std::shared_ptr<sheet::Picture> PicturesHandle::Insert(const std::string& file) {
    EngineWorksheet& sheet = sheet_.sheet();
    const ooxml::PictureFile picture = ooxml::readPictureFile(file);
    const auto [row, column] = sheet.selectedCell();
    const ooxml::PointRect rect{sheet.model().columnLeft(column), sheet.model().rowTop(row),
                                picture.picture.widthPoints(), picture.picture.heightPoints()};
    return addPicture(sheet_, file, picture, rect);
}

std::shared_ptr<sheet::Picture> ShapesHandle::AddPicture(const std::string& file, bool linkToFile,
                                                         bool saveWithDocument, double left, double top,
                                                         double width, double height) {
    sheet_.sheet();
    if (linkToFile) raiseSpreadsheet("Linked pictures are not supported: \"" + file + "\" must be embedded.");
    if (!saveWithDocument)
        raiseSpreadsheet("The picture \"" + file + "\" must be saved with the document when it is not linked.");
    for (const double value : {left, top, width, height}) checkFinite(value, "position or size");
    const ooxml::PictureFile picture = ooxml::readPictureFile(file);
    // A size of -1 keeps the picture's natural size, as spreadsheet programs do.
    const double w = width == -1 ? picture.picture.widthPoints() : width;
    const double h = height == -1 ? picture.picture.heightPoints() : height;
    if (w < 0 || h < 0) raiseSpreadsheet("The size of the picture \"" + file + "\" is negative.");
    return addPicture(sheet_, file, picture, ooxml::PointRect{left, top, w, h});
}

}  // namespace kbx::engine
