G00 X1 Y0 Z0
(comment)
G00 X2