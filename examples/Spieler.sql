REPLACE INTO `dwz_spieler` VALUES ("10101","1001","A","Meier,Jürgen","M","D",1958,"202347",1842,97,1901,null,4611022,"GER");
REPLACE INTO `dwz_spieler` VALUES ("10101","1002","A","Schäfer,Anna","W","D",1991,"202402",1655,41,null,null,null,null);
REPLACE INTO `dwz_spieler` VALUES ("20304","0017","A","Weiß,Dörte","W","D",1977,"202311",1500,112,1534,"WFM",4690001,"GER");
REPLACE INTO `dwz_spieler` VALUES ("20304","0123","P","Öztürk,Ömer","M","D",2009,null,null,null,null,null,null,null);
REPLACE INTO `dwz_spieler` VALUES ("30512","0456","A","Großmann,Björn","M","E",1965,"202250",2011,150,2085,"FM",4622222,"AUT");
REPLACE INTO `dwz_spieler` VALUES ("40777","0789","A","Brühl,Ute","W","D",1949,"201933",1399,64,null,null,null,null);
REPLACE INTO `dwz_spieler` VALUES ("99999","0001","A","Lefèvre,Hélène","W","G",1983,"202301",1720,30,1788,null,20612345,"FRA");
REPLACE INTO `dwz_spieler` VALUES ("50001","0042","A","Müller-Lüdenscheidt,Klaus-Dieter","M","D",1972,"202405",1903,88,1950,null,4633333,"GER");
