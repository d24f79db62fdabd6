codename=G00
codefunc=GRT
%