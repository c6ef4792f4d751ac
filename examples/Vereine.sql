REPLACE INTO `dwz_vereine` VALUES ("10101","1","100","Schachclub Bad Doberan 1952 e.V.");
REPLACE INTO `dwz_vereine` VALUES ("20304","2","200","SV Grün-Weiß Köln-Süd");
REPLACE INTO `dwz_vereine` VALUES ("30512","3","300","Schachfreunde Überlingen am Bodensee e.V.");
REPLACE INTO `dwz_vereine` VALUES ("40777","4","400","SK "Turm" Düsseldorf");
REPLACE INTO `dwz_vereine` VALUES ("20304","2","200","Schachgemeinschaft Köln (alt)");
REPLACE INTO `dwz_vereine` VALUES ("50001","5","500","Königsspringer Jüterbog");
