 1] THEN #9=#9+1
IF [#1 