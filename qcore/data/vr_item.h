#pragma once
// The base classes of every scene item: identity, name and persistence (IVrItem), and the bounds,
// transform, visibility and selection of visible items (IVisItem). Concrete items live in the hosts.
#include <qcore/core/my_com.h>
#include <qcore/data/guid.h>
#include <qcore/data/pak_file.h>
#include <qcore/geom/box.h>
#include <qcore/geom/math3d.h>
#include <qcore/geom/ray.h>
#include <qcore/platform/win32/cstring.h>

class CBaseVport;
class gCore;
enum qvx_mouse_event : int;

enum VR_CLASS_TYPE : int {
    VR_NONE = 0,
    VR_MESH = 1,
    VR_MODEL = 2,
    VR_CAMOBJ = 3,
    VR_PANEL = 4,
    VR_ACTION = 5,
    VR_TAPE = 6,
    VR_TAPEOBJ = 7,
    VR_SKYBOX = 8,
    VR_SUNOBJ = 9,
    VR_GROUPITEM = 10,
    VR_EVENT = 11,
    VR_FUNCTION = 12,
};

// Selection-box colours: the most recently selected item and the other selected items.
extern DWORD BBOXCOLOR_LAST_SEL;
extern DWORD BBOXCOLOR_OTHER_SEL;

class IVrItem : public IMyCom {
public:
    virtual void set_name(const char* text) { name = text; }
    virtual CString get_name() const { return name; }

    CGuid get_id() const { return id; }
    void set_id(const CGuid& g) { id = g; }
    VR_CLASS_TYPE get_class_id() const { return class_id; }
    // "IMesh" … "IFunction" by the class code; "err" for any other code.
    CString get_class_name() const;
    int get_status_value() const { return status_value; }
    void set_status_value(int v) { status_value = v; }
    // A fresh id, the name "Noname" and status 0.
    void reset_default();

    // A new directory (duplicate names allowed) with the type, id and name; null on failure.
    CPakNode* save_vritem_to_node(CPakNode* parent, const char* dir_name);
    // Resets, then reads a directory of this class (or of the alternative class name); 0 when the
    // directory is of another class. A missing or zero id leaves a fresh one.
    int load_vritem_from_node(CPakNode* node, const char* alt_class_name);

protected:
    IVrItem();
    ~IVrItem() override = default;

    VR_CLASS_TYPE class_id = VR_NONE;
    CGuid id;
    int status_value = 0;
    CString name;
};

class IVisItem : public IVrItem {
public:
    virtual void on_mouse_event(qvx_mouse_event, int) {}
    virtual void on_coord_changed() {}
    // The centre of the box, whatever set_origin_pos stored.
    virtual VEC get_origin_pos() const { return get_box().center(); }
    virtual void set_origin_pos(const VEC& p) { origin_pos = p; }
    // No hit in the base; items set the distance along the ray on a hit.
    virtual int ray_int(CBaseVport*, const CRay&, float&, void*) { return 0; }
    virtual const CBox& get_box() const { return box; }
    virtual void set_box(const CBox& b) { box = b; }
    virtual const MAT& get_wts() const { return wts; }
    virtual void set_wts(const MAT& m) { wts = m; }
    virtual int is_visible() const { return visible; }
    virtual void set_visible(int v) { visible = v; }
    virtual void on_selected(int) {}

    int is_selected() const { return selected; }
    // Stores the flag and tells the item.
    void set_selected(int s) {
        selected = s;
        on_selected(s);
    }

    CPakNode* save_visitem_to_node(CPakNode* parent, const char* dir_name);
    int load_visitem_from_node(CPakNode* node, const char* alt_class_name);

protected:
    IVisItem();
    ~IVisItem() override = default;
    void reset_default();

    int selected = 0;
    CBox box;
    VEC origin_pos{0, 0, 0};
    MAT wts;
    int visible = 1;
};
