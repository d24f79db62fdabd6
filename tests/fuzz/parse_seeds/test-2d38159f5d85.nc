type=mfcbutton,
lblname=Menu,
value=1