type=button,
lblname=Go