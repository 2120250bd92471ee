#include <qcore/geom/ray.h>

#include <cmath>

int CRay::int_with_sphere(const sphere& s, float& t) const {
    const float length = dir.len();
    if (!(length > 0.0f) || !std::isfinite(length)) return 0;
    const VEC d = dir * (1.0f / length);
    const VEC l = s.centre - origin;
    const float tca = d.dot(l);
    const float disc = s.radius * s.radius - (l.lensq() - tca * tca);
    if (!(disc >= 0.0f)) return 0;
    t = tca - std::sqrt(disc);
    return 1;
}
