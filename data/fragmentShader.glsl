#version 120
// Every fragment of a polyline takes the polyline's colour.
uniform vec4 DiffuseProduct;

void main()
{
    gl_FragColor = DiffuseProduct;
}
