#pragma once
// Rays: an origin and a direction that need not be normalised (a pick ray spans the camera's near-to-far
// distance), and the box-test form that keeps the direction's reciprocals.
#include <qcore/geom/math3d.h>

class CRay {
public:
    VEC origin;
    VEC dir;

    CRay() : origin(0, 0, 0), dir(0, 0, 0) {}
    CRay(const VEC& o, const VEC& d) : origin(o), dir(d) {}
    CRay(const CRay&) = default;
    CRay& operator=(const CRay&) = default;

    // The origin as a point (with perspective divide), the direction by the 3×3 part only.
    void transf_self(const MAT& m) {
        origin.transf_self(m);
        dir.transf_normal_self(m);
    }
    CRay get_transf(const MAT& m) const {
        CRay r = *this;
        r.transf_self(m);
        return r;
    }

    // Distance t along the normalised direction to the first crossing of the sphere; 0 (t untouched) when
    // the line misses it. A sphere behind the origin or around it hits with t negative. A zero direction
    // defines no line and never hits.
    int int_with_sphere(const sphere& s, float& t) const;
};

// A ray with the reciprocals of its direction, computed once for the many box tests of a tree walk. A zero
// component gives an infinite reciprocal.
class CRayForBox : public CRay {
public:
    VEC inv_dir;

    CRayForBox() : inv_dir(0, 0, 0) { PreCalInvDirection(); }
    explicit CRayForBox(const CRay& r) : CRay(r) { PreCalInvDirection(); }
    CRayForBox(const VEC& o, const VEC& d) : CRay(o, d) { PreCalInvDirection(); }
    CRayForBox(const CRayForBox&) = default;
    CRayForBox& operator=(const CRayForBox&) = default;
    CRayForBox& operator=(const CRay& r) {
        CRay::operator=(r);
        PreCalInvDirection();
        return *this;
    }

protected:
    void PreCalInvDirection() { inv_dir = VEC(1.0f / dir.x, 1.0f / dir.y, 1.0f / dir.z); }
};
