#include <qcore/data/node_fields.h>
#include <qcore/data/vr_item.h>

using qcore::detail::read_field;

DWORD BBOXCOLOR_LAST_SEL = 0xFFFFFFFF;
DWORD BBOXCOLOR_OTHER_SEL = 0xFF00FF00;

IVrItem::IVrItem() {
    IVrItem::reset_default();
}

CString IVrItem::get_class_name() const {
    static const char* const names[] = {"IMesh",   "IModel",     "ICamObj",  "IPanel",
                                        "IAction", "ITape",      "ITapeObj", "ISkybox",
                                        "ISunObj", "IGroupItem", "IEvent",   "IFunction"};
    if (class_id < VR_MESH || class_id > VR_FUNCTION) return "err";
    return names[class_id - VR_MESH];
}

void IVrItem::reset_default() {
    id.regen();
    name = "Noname";
    status_value = 0;
}

CPakNode* IVrItem::save_vritem_to_node(CPakNode* parent, const char* dir_name) {
    if (!parent) return nullptr;
    CPakNode* dir = parent->create_dir_node(dir_name, 1);
    if (!dir) return nullptr;
    dir->create_data_node("vr_type", NODE_STR32, get_class_name().GetString());
    dir->create_data_node("id", NODE_GUID, &id);
    dir->create_data_node("name", NODE_STR32, get_name().GetString());
    return dir;
}

int IVrItem::load_vritem_from_node(CPakNode* node, const char* alt_class_name) {
    IVrItem::reset_default();
    if (!node) return 0;
    if (!node->is_type("vr_type", get_class_name()) &&
        !(alt_class_name && node->is_type("vr_type", alt_class_name)))
        return 0;
    read_field(node, "id", NODE_GUID, id);
    if (id.is_zero()) id.regen();
    char text[32] = {};
    if (read_field(node, "name", NODE_STR32, text)) set_name(text);
    return 1;
}

IVisItem::IVisItem() {
    IVisItem::reset_default();
}

void IVisItem::reset_default() {
    IVrItem::reset_default();
    visible = 1;
    D3DXMatrixIdentity(&wts);
    box.set_invalid();
    selected = 0;
}

CPakNode* IVisItem::save_visitem_to_node(CPakNode* parent, const char* dir_name) {
    CPakNode* dir = save_vritem_to_node(parent, dir_name);
    if (!dir) return nullptr;
    const int v = is_visible();
    dir->create_data_node("visible", NODE_INT, &v);
    if (class_id != VR_MESH && class_id != VR_MODEL) dir->create_data_node("wts", NODE_MATRIX, &get_wts());
    dir->create_data_node("box", NODE_BOX, &get_box());
    return dir;
}

int IVisItem::load_visitem_from_node(CPakNode* node, const char* alt_class_name) {
    IVisItem::reset_default();
    if (!load_vritem_from_node(node, alt_class_name)) return 0;
    int v = 0;
    if (read_field(node, "visible", NODE_INT, v)) set_visible(v);
    MAT m;
    if (read_field(node, "wts", NODE_MATRIX, m) || read_field(node, "MESH_MATRIX", NODE_MATRIX, m))
        set_wts(m);
    CBox b;
    if (read_field(node, "box", NODE_BOX, b)) set_box(b);
    return 1;
}
