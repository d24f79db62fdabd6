 2] THEN #9=#9+2
IF [#1 