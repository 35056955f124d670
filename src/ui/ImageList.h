#pragma once

#include <QIcon>
#include <QImage>

// The shared icons of toolbars, menus, actions and tabs, 16 x 16, addressed by index.
class ImageList {
public:
    static constexpr int Count = 69;
    QIcon icon(int index) const;
    QImage image(int index) const;
    int count() const { return Count; }
};

// Named indexes into the shared image list.
namespace Img {
enum : int {
    Layout = 0,
    Model,
    Document,
    Change,
    Net,
    User,
    Search,
    Version,
    Add,
    Edit,
    Delete,
    Refresh,
    Up,
    Down,
    Clone,
    Favorite,
    FavoriteDelete,
    Call,
    Print,
    Find,
    Department,
    Workplace,
    Device,
    Hardware,
    Material,
    Software,
    Save,
    Cancel,
    Ping,
    Scan,
    Check,
    Ok,
    Warning,
    Error,
    Report,
    Move,
    Chain,
    Filter,
    Sort,
    Open,
    Close
};
}

// The one image list of the program.
const ImageList &ToolBarImages();
