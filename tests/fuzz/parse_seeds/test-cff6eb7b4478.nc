ctrl_h=0.8,
lbl_w=0.5,
col=1,
col_ratio=1,
ratio=1,
margin=0.1,
name=Group
