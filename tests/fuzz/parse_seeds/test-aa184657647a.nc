type=SysListView32,
name=list,
id=1010,
cbstrings=No X Y Z,
cw=0.25 0.25 0.25 0.25