#pragma once
// Opaque handles of the rigid-body library. Only the physics sources include the library's
// own headers; everything else sees these incomplete types.
struct dxWorld;
struct dxSpace;
struct dxBody;
struct dxGeom;
struct dxJoint;
struct dxJointGroup;
struct dxTriMeshData;
struct dContact;
struct dContactGeom;
struct dSurfaceParameters;
