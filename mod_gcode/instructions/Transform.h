// Coordinate transforms that turn a motion's programmed end point into the
// drawn position: polar coordinates, mirror, scaling, rotation and the
// reference point (work offset plus tool length offset).
//
// A chain of transforms is built from the modal state and shared by every
// instruction created while that state holds; a chain is copied before one
// instruction changes it.
#pragma once
#include <memory>

#include "mod_gcode/instructions/Instruction.h"

namespace quillet {

class CGCTransform {
 public:
  enum Type : short { kScale = 1, kMirror = 2, kRot = 3, kPolar = 4, kRefPoint = 5 };

  virtual ~CGCTransform() = default;
  virtual void Apply(CGCInstruction& instr, CPoint3d& point, int planeCode, CGCInstruction* previous) = 0;
  virtual std::unique_ptr<CGCTransform> Clone() const = 0;
  // The transform's linear part on a displacement in the order of a plane
  // (no centre, no offset), and its inverse; none by default.
  virtual void MapDisplacement(CPoint3d& /*v*/, int /*planeCode*/) const {}
  virtual void UnmapDisplacement(CPoint3d& /*v*/, int /*planeCode*/) const {}
  // A drawn point back through the transform (the reference point has its
  // own offset and leaves the point unchanged here).
  virtual void UnmapPoint(CPoint3d& /*p*/, int /*planeCode*/) const {}
  short GetType() const { return m_type; }
  void SetType(short t) { m_type = t; }
  bool IsType(short t) const { return m_type == t; }
  virtual bool FlipsArcDirection() const { return m_flip; }
  // Whether the transform mirrors one axis of a plane (not both): the
  // drawn path then turns the other way round.
  virtual bool MirrorsPlane(int /*planeCode*/) const { return false; }
  void SetFlipFlag(bool f) { m_flip = f; }
  // The instruction that defined the mode (a copy made when the chain was
  // built); null when there is none.
  CGCInstruction* Defining() const { return m_defining.get(); }

 protected:
  CGCTransform(short type, const CGCInstruction* defining);
  CGCTransform(const CGCTransform& o);

  std::shared_ptr<CGCInstruction> m_defining;
  short m_type;
  bool m_flip = false;
};

class CGCTransformScale : public CGCTransform {
 public:
  explicit CGCTransformScale(const CGCInstruction* defining) : CGCTransform(kScale, defining) {}
  void Apply(CGCInstruction& instr, CPoint3d& point, int planeCode, CGCInstruction* previous) override;
  std::unique_ptr<CGCTransform> Clone() const override { return std::make_unique<CGCTransformScale>(*this); }
  bool FlipsArcDirection() const override { return m_negative; }
  bool MirrorsPlane(int planeCode) const override;
  void MapDisplacement(CPoint3d& v, int planeCode) const override;
  void UnmapDisplacement(CPoint3d& v, int planeCode) const override;
  void UnmapPoint(CPoint3d& p, int planeCode) const override;
  // A point scaled about the centre (the instruction's words are untouched).
  CPoint3d MapPoint(CPoint3d p, int planeCode) const;

 private:
  // The factors along a plane's axes; whether P gives one for all of them.
  bool Factors(int planeCode, double f[3]) const;
  bool m_negative = false;
};

class CGCTransformMirror : public CGCTransform {
 public:
  explicit CGCTransformMirror(const CGCInstruction* defining) : CGCTransform(kMirror, defining) {}
  void Apply(CGCInstruction& instr, CPoint3d& point, int planeCode, CGCInstruction* previous) override;
  std::unique_ptr<CGCTransform> Clone() const override { return std::make_unique<CGCTransformMirror>(*this); }
  void MapDisplacement(CPoint3d& v, int planeCode) const override;
  void UnmapDisplacement(CPoint3d& v, int planeCode) const override { MapDisplacement(v, planeCode); }
  void UnmapPoint(CPoint3d& p, int planeCode) const override;
  bool MirrorsPlane(int planeCode) const override;
};

class CGCTransformRot : public CGCTransform {
 public:
  explicit CGCTransformRot(const CGCInstruction* defining) : CGCTransform(kRot, defining) {}
  void Apply(CGCInstruction& instr, CPoint3d& point, int planeCode, CGCInstruction* previous) override;
  std::unique_ptr<CGCTransform> Clone() const override { return std::make_unique<CGCTransformRot>(*this); }
  void MapDisplacement(CPoint3d& v, int planeCode) const override { Turn(v, planeCode, 1.0); }
  void UnmapDisplacement(CPoint3d& v, int planeCode) const override { Turn(v, planeCode, -1.0); }
  void UnmapPoint(CPoint3d& p, int planeCode) const override;
  // Set when a mirror of one axis of the plane comes before the rotation in
  // the chain: the rotation then turns the other way.
  void SetReversed(bool r) { m_reversed = r; }

 private:
  // Turns a vector by the angle (times `sense`) in the plane.
  void Turn(CPoint3d& v, int planeCode, double sense) const;
  bool m_reversed = false;
};

class CGCTransformPolar : public CGCTransform {
 public:
  explicit CGCTransformPolar(const CGCInstruction* defining) : CGCTransform(kPolar, defining) {}
  void Apply(CGCInstruction& instr, CPoint3d& point, int planeCode, CGCInstruction* previous) override;
  std::unique_ptr<CGCTransform> Clone() const override { return std::make_unique<CGCTransformPolar>(*this); }
  // A drawn point as radius and angle (degrees) about the pole.
  void UnmapPoint(CPoint3d& p, int planeCode) const override;
};

class CGCTransformRefPoint : public CGCTransform {
 public:
  explicit CGCTransformRefPoint(const CGCInstruction* defining) : CGCTransform(kRefPoint, defining) {}
  void Apply(CGCInstruction& instr, CPoint3d& point, int planeCode, CGCInstruction* previous) override;
  std::unique_ptr<CGCTransform> Clone() const override { return std::make_unique<CGCTransformRefPoint>(*this); }
};

// The offset a reference-point transform adds for a work-offset instruction:
// its X, Y, Z values, plus the host's tool length when it is a work
// coordinate system, plus or minus the tool length offset of group 19;
// in the order of the given plane.
CPoint3d RefPointOffset(const CGCInstruction* defining, CGCProgram* program, int planeCode);

class CTransformChain;
// A displacement programmed under a chain as drawn (the chain's linear
// part, in order), and a drawn displacement back in the programmed frame.
// Both in the order of the plane; a null chain changes nothing.
CPoint3d MapDisplacement(const CTransformChain* chain, CPoint3d v, int planeCode);
CPoint3d UnmapDisplacement(const CTransformChain* chain, CPoint3d v, int planeCode);
// Whether a chain mirrors one axis of a plane (an odd number of mirrored
// axes of the plane among its mirror and scaling): G02/G03 and G41/G42 swap.
bool MirrorsPlane(const CTransformChain* chain, int planeCode);
// A point drawn under a chain (the reference point taken off) back in the
// programmed frame: the program coordinates of that point.
CPoint3d UnmapPoint(const CTransformChain* chain, CPoint3d p, int planeCode);

// An ordered list of at most five transforms with an intrusive count.
class CTransformChain {
 public:
  static constexpr int kMax = 5;
  CTransformChain() = default;
  CTransformChain(const CTransformChain& o);
  CTransformChain& operator=(const CTransformChain&) = delete;

  void Add(std::unique_ptr<CGCTransform> t);
  int Count() const { return m_count; }
  CGCTransform* At(int i) const { return m_items[i].get(); }
  // The first transform of a type, or null.
  CGCTransform* Find(short type) const;

 private:
  friend class ChainRef;
  std::unique_ptr<CGCTransform> m_items[kMax];
  int m_count = 0;
  int m_refs = 0;
};

}  // namespace quillet
