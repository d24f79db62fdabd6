#version 120
// Tool-path vertices: the position goes through the view's model-view and
// projection matrices; the normal is part of the vertex layout but lines are
// not lit.
attribute vec3 vPosition;
attribute vec3 vNormal;
uniform mat4 ModelView;
uniform mat4 Projection;

void main()
{
    gl_Position = Projection * (ModelView * vec4(vPosition, 1.0));
}
